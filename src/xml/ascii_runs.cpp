#include "xml/ascii_runs.h"

#include <cstring>

#include "xml/codepage.h"

namespace vd {
namespace {

// An ASCII run shorter than this between other characters goes to the
// converter with them: text that mixes both then costs a few converter calls,
// not one per word.
constexpr std::size_t kShortestCopiedRun = 16;

// How many bytes (or units) of the ASCII run after other characters still go
// to the converter with them. Converters may read past a character to judge
// it: a double-byte code page takes an ASCII byte as the second byte of a
// character (or with an invalid lead byte), and a UTF-8 decoder may treat a
// sequence cut off by the end of its input otherwise than one cut off by an
// ASCII byte. With this many ASCII bytes after it, no character is judged
// differently than in the whole text.
constexpr std::size_t kLookAhead = 4;
static_assert(kLookAhead < kShortestCopiedRun, "the look-ahead is taken from a copied run");

bool KeepsAscii(uint32_t codePage) {
    switch (codePage) {
        case codepage::kUtf8:
        case codepage::kUtf16:
        case 874:
        case 936:
        case 949:
        case 950:
        case 28603:
        case 28605:
            return true;
        default:
            return (codePage >= 1250 && codePage <= 1258) || (codePage >= 28591 && codePage <= 28599);
    }
}

// Code pages with combining marks, which a reader might join to the
// character before them; text in them is never cut.
bool MayCombineWhenRead(uint32_t codePage) { return codePage == 874 || codePage == 1255 || codePage == 1258; }

// The source as units: bytes of a multibyte code page, or little-endian
// 2-byte units of UTF-16.
class Units {
public:
    Units(std::string_view source, bool wide)
        : s_(reinterpret_cast<const unsigned char*>(source.data())),
          wide_(wide),
          count_(wide ? source.size() / 2 : source.size()) {}

    std::size_t Count() const { return count_; }
    bool IsAscii(std::size_t i) const { return wide_ ? s_[2 * i] < 0x80 && s_[2 * i + 1] == 0 : s_[i] < 0x80; }

    // The end of the run of ASCII units at `i`, eight bytes at a time.
    std::size_t AsciiEnd(std::size_t i) const {
        const uint64_t mask = wide_ ? 0xFF80FF80FF80FF80ull : 0x8080808080808080ull;
        const std::size_t perWord = wide_ ? 4 : 8;
        uint64_t word, next;
        while (i + 2 * perWord <= count_) {
            std::memcpy(&word, s_ + (wide_ ? 2 * i : i), sizeof word);
            std::memcpy(&next, s_ + (wide_ ? 2 * i : i) + sizeof word, sizeof next);
            if ((word | next) & mask) break;
            i += 2 * perWord;
        }
        while (i + perWord <= count_) {
            std::memcpy(&word, s_ + (wide_ ? 2 * i : i), sizeof word);
            if (word & mask) break;
            i += perWord;
        }
        while (i < count_ && IsAscii(i)) ++i;
        return i;
    }

private:
    const unsigned char* s_;
    bool wide_;
    std::size_t count_;
};

class RunConverter {
public:
    RunConverter(uint32_t target, uint32_t origin, bool* lossy) : target_(target), origin_(origin), lossy_(lossy) {}

    void CopyAscii(std::string_view source, std::size_t from, std::size_t to, std::string& out) const {
        if (origin_ != codepage::kUtf16 && target_ != codepage::kUtf16) {
            out.append(source.data() + from, to - from);
        } else if (origin_ == codepage::kUtf16) {
            for (std::size_t i = from; i < to; ++i) out += source[2 * i];
        } else {
            for (std::size_t i = from; i < to; ++i) {
                out += source[i];
                out += '\0';
            }
        }
    }

    void Convert(std::string_view source, std::size_t from, std::size_t to, std::string& out) {
        bool lost = false;
        if (origin_ == codepage::kUtf16) {
            units_.resize(to - from);
            for (std::size_t i = from; i < to; ++i)
                units_[i - from] = static_cast<char16_t>(static_cast<unsigned char>(source[2 * i]) |
                                                         (static_cast<unsigned char>(source[2 * i + 1]) << 8));
        } else {
            codepage::ToWide(origin_, source.data() + from, to - from, units_);
        }
        if (target_ == codepage::kUtf16) {
            for (char16_t u : units_) {
                out += static_cast<char>(u & 0xFF);
                out += static_cast<char>(u >> 8);
            }
        } else {
            codepage::FromWide(target_, units_.data(), units_.size(), bytes_, lossy_ ? &lost : nullptr);
            out += bytes_;
        }
        if (lost) *lossy_ = true;
    }

private:
    uint32_t target_, origin_;
    bool* lossy_;
    std::u16string units_;
    std::string bytes_;
};

}  // namespace

bool CanKeepAscii(uint32_t target, uint32_t origin) {
    if (!KeepsAscii(target) || !KeepsAscii(origin) || MayCombineWhenRead(origin)) return false;
    for (uint32_t codePage : {target, origin})
        if (codePage != codepage::kUtf16 && !codepage::HasCodePage(codePage)) return false;
    return true;
}

std::size_t AsciiPrefix(const char* bytes, std::size_t length) {
    return Units(std::string_view(bytes, length), false).AsciiEnd(0);
}

std::string ConvertKeepingAscii(uint32_t target, uint32_t origin, std::string_view source, bool* lossy) {
    if (lossy) *lossy = false;
    const Units units(source, origin == codepage::kUtf16);
    const std::size_t n = units.Count();
    RunConverter converter(target, origin, lossy);
    std::string out;
    out.reserve(target == codepage::kUtf16 ? 2 * n : n);
    std::size_t i = 0;
    while (i < n) {
        // `i` starts a character here.
        const std::size_t plainEnd = units.AsciiEnd(i);
        converter.CopyAscii(source, i, plainEnd, out);
        i = plainEnd;
        if (i == n) break;
        // Other characters, up to an ASCII run long enough to copy, and the
        // look-ahead the converter needs from that run. A short run at the
        // end of the text goes with them.
        std::size_t k = i + 1;
        for (;;) {
            while (k < n && !units.IsAscii(k)) ++k;
            if (k == n) break;
            std::size_t r = k;
            while (r < n && r - k < kShortestCopiedRun && units.IsAscii(r)) ++r;
            if (r - k == kShortestCopiedRun) {
                k += kLookAhead;
                break;
            }
            k = r;
        }
        converter.Convert(source, i, k, out);
        i = k;
    }
    return out;
}

}  // namespace vd
