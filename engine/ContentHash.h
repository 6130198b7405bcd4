#pragma once

#include <cstdint>
#include <span>

struct XXH3_state_s;

namespace Exif {

// What a file held: its length and a 64-bit hash (XXH3) of all its bytes. Two files that hash
// the same are taken to hold the same bytes; the hash is no defence against someone crafting a
// collision, only a fast way to tell whether a file was changed.
struct ContentFingerprint {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const ContentFingerprint&) const = default;
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

ContentFingerprint FingerprintOf(std::span<const std::uint8_t> bytes);
// Reads a file from its start to its end through the descriptor; 0, or the errno of the
// failed read.
int FingerprintOfFile(int fd, ContentFingerprint& result);

} // namespace Exif
