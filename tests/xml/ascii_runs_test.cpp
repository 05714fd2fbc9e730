// Copying runs of ASCII past the converter must give exactly what converting
// the whole text at once gives: texts built from ASCII runs of every length
// around the copy threshold and from characters that are valid, invalid, cut
// off, or take an ASCII byte with them, in every pair of code pages the file
// reader meets.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "xml/ascii_runs.h"
#include "xml/codepage.h"
#include "xml/encoding.h"

namespace vd {
namespace {

std::string Units16(std::initializer_list<uint32_t> units) {
    std::string out;
    for (uint32_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

// Pieces of text in each source code page that are not plain ASCII.
std::vector<std::string> OtherPieces(uint32_t codePage) {
    switch (codePage) {
        case codepage::kUtf8:
            return {"\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x90\x90\x80", "\xCE\xB1", "\xE2\x82\xAC",
                    // cut off, stray, overlong, an encoded surrogate
                    "\xC3", "\xE4\xB8", "\x80", "\xA9", "\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xF0\x90"};
        case 936:
            return {"\xD6\xD0", "\xCE\xC4", "\xA8\xA6", "\x80",
                    // a lead byte with an ASCII second byte, valid or not, and alone
                    "\x81\x41", "\x81", "\xFE", "\xFF", "\xA1"};
        case 1252:
            return {"\xE9", "\x80", "\x81", "\x9D", "\xFF"};
        case codepage::kUtf16:
            return {Units16({0xE9}),   Units16({0x4E2D}), Units16({0xD801, 0xDC00}),
                    Units16({0xD800}), Units16({0xDC00}), Units16({0x3B1}),
                    Units16({0x20AC}), Units16({0x100}),  Units16({0xFFFD, 0xFEFF})};
        default:
            return {};
    }
}

std::string AsciiPiece(std::size_t length, uint32_t codePage, std::mt19937& random) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        // Every ASCII byte, NUL included, with letters most of the time.
        const char c = random() % 4 ? static_cast<char>('A' + random() % 26) : static_cast<char>(random() % 0x80);
        if (codePage == codepage::kUtf16)
            out += Units16({static_cast<uint32_t>(c)});
        else
            out += c;
    }
    return out;
}

// The whole text through the platform's converter in one go.
std::string ConvertWhole(uint32_t target, uint32_t origin, const std::string& source, bool* lossy) {
    std::u16string units;
    if (origin == codepage::kUtf16) {
        for (std::size_t i = 0; i + 1 < source.size(); i += 2)
            units += static_cast<char16_t>(static_cast<unsigned char>(source[i]) |
                                           (static_cast<unsigned char>(source[i + 1]) << 8));
    } else {
        codepage::ToWide(origin, source.data(), source.size(), units);
    }
    std::string out;
    if (target == codepage::kUtf16) {
        for (char16_t u : units) out += Units16({u});
        return out;
    }
    codepage::FromWide(target, units.data(), units.size(), out, lossy);
    return out;
}

struct Pair {
    uint32_t target;
    uint32_t origin;
};

TEST(XmlAsciiRuns, SameAsConvertingTheWholeText) {
    const Pair pairs[] = {
        {1252, codepage::kUtf8},
        {936, codepage::kUtf8},
        {codepage::kUtf8, 936},
        {1252, codepage::kUtf16},
        {936, codepage::kUtf16},
        {codepage::kUtf16, 936},
        {codepage::kUtf16, codepage::kUtf8},
        {1252, 936},
        {936, 1252},
        {codepage::kUtf8, 1252},
        {codepage::kUtf8, codepage::kUtf16},
    };
    const std::size_t asciiLengths[] = {0, 1, 2, 3, 8, 15, 16, 17, 31, 40};
    std::mt19937 random(20240611);
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair.origin << " -> " << pair.target);
        ASSERT_TRUE(CanKeepAscii(pair.target, pair.origin));
        const std::vector<std::string> others = OtherPieces(pair.origin);
        ASSERT_FALSE(others.empty());
        for (int round = 0; round < 400; ++round) {
            std::string source;
            const int pieces = 1 + static_cast<int>(random() % 12);
            for (int p = 0; p < pieces; ++p) {
                if (random() % 2)
                    source += AsciiPiece(asciiLengths[random() % std::size(asciiLengths)], pair.origin, random);
                else
                    source += others[random() % others.size()];
            }
            bool lossyWhole = false, lossyRuns = true;
            const std::string whole = ConvertWhole(pair.target, pair.origin, source, &lossyWhole);
            ASSERT_EQ(ConvertKeepingAscii(pair.target, pair.origin, source, &lossyRuns), whole)
                << testing::PrintToString(source);
            ASSERT_EQ(lossyRuns, lossyWhole) << testing::PrintToString(source);
        }
    }
}

TEST(XmlAsciiRuns, CodePagesThatMayNotBeCut) {
    const Pair refused[] = {
        {1252, 1258},              // combining tone marks are read after their letter
        {1252, 1255},              // likewise the Hebrew points
        {1252, 932},               // its ASCII half is not ASCII everywhere
        {1252, 50220},             // shift states
        {1252, 65000},             // shift states
        {1252, 1201},              // two-byte units
        {codepage::kUtf8, 20106},  // national variants of ASCII
        {20106, codepage::kUtf8},
    };
    for (const Pair& pair : refused)
        EXPECT_FALSE(CanKeepAscii(pair.target, pair.origin)) << pair.origin << " -> " << pair.target;
    // Writing into such a code page is a plain table look-up per character.
    EXPECT_TRUE(CanKeepAscii(1258, codepage::kUtf8));
}

TEST(XmlAsciiRuns, OwnedTextComesBackUnconvertedOnlyWhenItIsTheSame) {
    struct Case {
        const char* to;
        const char* from;
        std::string source;
        uint32_t ansi;
    };
    const Case cases[] = {
        {"", "UTF-8", "<r a=\"1\">plain</r>", 1252},
        {"", "UTF-8", "<r>caf\xC3\xA9</r>", 1252},
        {"", "UTF-8", "<r>\xE4\xB8\xAD</r>", 1252},
        {"", "gb2312", "<r>\xD6\xD0</r>", 936},
        {"", "gb2312", "<r>\xD6\xD0</r>", 1252},
        {"", "UTF-16", Units16({'<', 'r', '/', '>'}), 1252},
        {"UTF-16", "", "<r/>", 1252},
        {"", "latin1", std::string("a\0b", 3), 1252},
        {"", "", "same \xE9", 1252},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> '" << c.to << "' " << testing::PrintToString(c.source));
        bool lossyCopy = true, lossyOwned = true;
        const std::string expected = ConvertText(c.to, c.from, c.source, c.ansi, &lossyCopy);
        std::string owned = c.source;
        EXPECT_EQ(ConvertOwnedText(c.to, c.from, std::move(owned), c.ansi, &lossyOwned), expected);
        EXPECT_EQ(lossyOwned, lossyCopy);
    }
}

}  // namespace
}  // namespace vd
