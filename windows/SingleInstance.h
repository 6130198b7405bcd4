#pragma once

#include <QLockFile>

// Marks the running instance with a lock file in the user's runtime folder. The lock names the
// process that holds it, so the lock of a crashed instance is taken over.
class SingleInstance {
public:
    SingleInstance();
    // False when another instance holds the lock. When the lock cannot be made at all (no
    // writable folder), the program runs without the guard.
    bool claim();

private:
    QLockFile lock_;
};
