#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include <sys/stat.h>

struct XXH3_state_s;

namespace Exif {

// Which file, how long, and when it was last written and changed.
struct FileState {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0, changedNanoseconds = 0;
    bool operator==(const FileState&) const = default;
};
FileState StateOf(const struct stat& st);

// What a file held: its length and a 64-bit hash (XXH3) of all its bytes. Two files that hash
// the same are taken to hold the same bytes; the hash is no defence against someone crafting a
// collision, only a fast way to tell whether a file was changed.
struct ContentFingerprint {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    // The file's state while the bytes were read from it, when that state tells them apart
    // from any later content: a file still in that state holds them without a second reading.
    std::optional<FileState> seen;
    // The same bytes, wherever and whenever they were seen.
    bool operator==(const ContentFingerprint& other) const {
        return size == other.size && hash == other.hash;
    }
};

// Hashes bytes given in order, in as many pieces as they come.
class ContentHasher {
public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;

    void add(std::span<const std::uint8_t> bytes);
    std::uint64_t size() const { return size_; }
    ContentFingerprint result() const;

private:
    XXH3_state_s* state_;
    std::uint64_t size_ = 0;
};

// How much of a file is read at a time when it is read through: little enough to stay in the
// processor's cache and to touch few pages, whose first touch is dear in a virtual machine.
constexpr std::size_t kReadPiece = 64 * 1024;

ContentFingerprint FingerprintOf(std::span<const std::uint8_t> bytes);
// Reads a file from its start to its end through the descriptor; 0, or the errno of the
// failed read. The file's state goes with it where the file system gives every write a later
// change time and the last change lies a clock tick or more before the reading.
int FingerprintOfFile(int fd, ContentFingerprint& result);

} // namespace Exif
