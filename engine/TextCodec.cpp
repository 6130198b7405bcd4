#include "TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

#include "EngineError.h"

namespace TextCodec {
namespace {

// The converters a thread has opened, each kept for the thread's lifetime: opening one costs far
// more than most conversions do. A converter carries a shift state, so it is never shared
// between threads.
class Converters {
public:
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        for (const Open& c : open_)
            iconv_close(c.cd);
    }

    // The converter from one code to another, in its initial shift state.
    iconv_t get(const char* to, const char* from) {
        iconv_t cd = find(to, from);
        if (cd == kNone) {
            cd = iconv_open(to, from);
            if (cd == kNone)
                throw Exif::EngineError(std::string("Character code not supported: ") + from);
            open_.push_back({to, from, cd});
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return cd;
    }

private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
    struct Open {
        std::string to, from;
        iconv_t cd;
    };

    iconv_t find(std::string_view to, std::string_view from) const {
        for (const Open& c : open_)
            if (c.to == to && c.from == from)
                return c.cd;
        return kNone;
    }

    std::vector<Open> open_;
};

iconv_t converter(const char* to, const char* from) {
    thread_local Converters converters;
    return converters.get(to, from);
}

void appendUtf16LE(std::u16string& out, const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i + 1 < n; i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
}

} // namespace

std::u16string Decode(std::span<const std::uint8_t> bytes, const char* charset, Errors errors) {
    const iconv_t cd = converter("UTF-16LE", charset);
    std::u16string out;
    out.reserve(bytes.size());
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    char buffer[4096];
    while (true) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc =
            inLeft > 0 ? iconv(cd, &in, &inLeft, &outPtr, &outLeft)
                       : iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        const int err = errno;
        appendUtf16LE(out, buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0)
                break;
            continue;
        }
        if (err == E2BIG)
            continue;
        if (errors == Errors::Throw)
            throw Exif::EngineError(std::string("No mapping for the bytes in the target code (") +
                                    charset + ")");
        out.push_back(u'\uFFFD');
        if (err == EINVAL) // incomplete sequence at the end
            break;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
    }
    return out;
}

// The UTF-16LE bytes handed to iconv at a time when encoding.
constexpr std::size_t kPieceBytes = 256;

std::vector<std::uint8_t> Encode(std::u16string_view text, const char* charset) {
    const iconv_t cd = converter(charset, "UTF-16LE");
    std::string in;
    in.reserve(text.size() * 2);
    for (char16_t c : text)
        in.push_back(static_cast<char>(c & 0xFF)), in.push_back(static_cast<char>(c >> 8));
    static const char kSubstitute[2] = {'?', 0};
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 2 + 8);
    char buffer[4096];
    auto convert = [&](char*& src, std::size_t& left) {
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t rc = src ? iconv(cd, &src, &left, &dst, &room)
                                   : iconv(cd, nullptr, nullptr, &dst, &room);
        const int err = errno;
        out.insert(out.end(), buffer, dst);
        return rc == static_cast<std::size_t>(-1) ? err : 0;
    };
    char* src = in.data();
    std::size_t left = in.size();
    while (left > 0) {
        // At an unrepresentable character iconv converts what it was given again from its
        // start, so the text goes in small pieces: many such characters in a long text would
        // otherwise take quadratic time (a fifth of a second for 64 KiB of kanji). A piece
        // never ends between the two halves of a surrogate pair.
        std::size_t piece = std::min<std::size_t>(left, kPieceBytes);
        if (piece < left && static_cast<unsigned char>(src[piece - 1]) >= 0xD8 &&
            static_cast<unsigned char>(src[piece - 1]) <= 0xDB)
            piece += 2;
        std::size_t pieceLeft = piece;
        const int err = convert(src, pieceLeft);
        left -= piece - pieceLeft;
        if (err == 0 || err == E2BIG)
            continue;
        // An unrepresentable character (or a lone surrogate): the substitute instead, then
        // on with the next character.
        char* sub = const_cast<char*>(kSubstitute);
        std::size_t subLeft = sizeof kSubstitute;
        while (subLeft > 0 && convert(sub, subLeft) == E2BIG) {
        }
        const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(src[0]) |
                                                    (static_cast<unsigned char>(src[1]) << 8));
        const char16_t next = left >= 4 ? static_cast<char16_t>(static_cast<unsigned char>(src[2]) |
                                                                (static_cast<unsigned char>(src[3]) << 8))
                                        : 0;
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF;
        const std::size_t skip = pair ? 4 : std::min<std::size_t>(2, left);
        src += skip;
        left -= skip;
    }
    char* none = nullptr;
    std::size_t zero = 0;
    while (convert(none, zero) == E2BIG) { // back to the initial shift state
    }
    return out;
}

std::u16string FromLatin1(std::span<const std::uint8_t> bytes) {
    return std::u16string(bytes.begin(), bytes.end());
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    return Decode({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, "UTF-8",
                  Errors::Replace);
}

} // namespace TextCodec
