#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "xml/charset_table.h"
#include "xml/codepage.h"
#include "xml/encoding.h"
#include "xml/entities.h"
#include "xml/xml_document.h"

namespace vd {
namespace {

TEST(XmlCharsets, LookUp) {
    const std::pair<std::string, int32_t> cases[] = {
        {"", 0},
        {"latin1", 28591},
        {"Latin1", 28591},
        {"LATIN1", 28591},
        {"UTF-32", 65005},
        {"UTF-32BE", 65005},
        {"utf-32", 12000},
        {"Utf-32", 12000},
        {"cp1256", 1256},
        {"cp1256 ", 1256},
        {"gb2312", 936},
        {"GBK", 936},
        {"utf-8", 65001},
        {"UTF-16", 1200},
        {"_iso-2022-jp$sio", 50222},
        {"iso_8859-1:1987", 28591},
        {"extended_unix_code_packed_format_for_japanese", 20932},
        {"x-unknown", -1},
        {"latin", -1},
        {std::string(99, 'a'), -1},
        {std::string(100, 'a'), -1},
        {"UTF-32" + std::string(100, 'x'), 65005},
    };
    for (const auto& c : cases) EXPECT_EQ(CharsetCodePage(c.first), c.second) << c.first;
}

// 365 packed entries, each in the bucket of its name, every name distinct
// and found again by the look-up.
TEST(XmlCharsets, TableIntegrity) {
    int entries = 0;
    std::set<std::string> names;
    for (unsigned b = 0; b < kCharsetBuckets; ++b) {
        for (const char* p = kCharsetTable[b]; *p;) {
            const std::size_t length = static_cast<std::size_t>((p[0] - '0') * 10 + (p[1] - '0'));
            const int32_t codePage = std::atoi(std::string(p + 2, 5).c_str());
            const std::string name(p + 7, length);
            uint32_t sum = 0;
            for (char ch : name) sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(ch)));
            EXPECT_EQ(sum % kCharsetBuckets, b) << name;
            EXPECT_EQ(CharsetCodePage(name), codePage) << name;
            names.insert(name);
            ++entries;
            p += 7 + length;
        }
    }
    EXPECT_EQ(entries, 365);
    EXPECT_EQ(names.size(), 365u);
}

TEST(XmlCharsets, EncodingsDiffer) {
    EXPECT_FALSE(EncodingsDiffer("", "", 1252));
    EXPECT_FALSE(EncodingsDiffer("windows-1252", "", 1252));
    EXPECT_TRUE(EncodingsDiffer("windows-1252", "", 936));
    EXPECT_FALSE(EncodingsDiffer("gbk", "CP936", 1252));
    EXPECT_TRUE(EncodingsDiffer("utf-8", "latin1", 1252));
    EXPECT_FALSE(EncodingsDiffer("bogus", "utf-8", 1252));
    EXPECT_FALSE(EncodingsDiffer("", "utf-8", 65001));
    EXPECT_TRUE(EncodingsDiffer("UTF-8", "", 1252));
}

std::string Units32(std::initializer_list<uint32_t> cps) {
    std::string out;
    for (uint32_t cp : cps)
        for (int k = 0; k < 4; ++k) out += static_cast<char>((cp >> (8 * k)) & 0xFF);
    return out;
}

std::string Units16(std::initializer_list<uint32_t> units) {
    std::string out;
    for (uint32_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

struct ConvertCase {
    const char* to;
    const char* from;
    std::string source;
    uint32_t ansi;
    std::string result;
    bool lossy;
};

TEST(XmlConversion, EveryPath) {
    const ConvertCase cases[] = {
        {"UTF-8", "", "caf\xE9", 1252, "caf\xC3\xA9", false},
        {"", "UTF-8", "caf\xC3\xA9", 1252, "caf\xE9", false},
        {"", "utf-8", "\xE4\xB8\xAD", 1252, "?", true},
        {"", "utf-8", "\xE4\xB8\xAD", 936, "\xD6\xD0", false},
        {"", "gb2312", "\xD6\xD0", 1252, "?", true},
        {"", "latin1", "\xE9", 936, "\xA8\xA6", false},
        {"", "", "same \xE9", 1252, "same \xE9", false},
        {"", "UTF-16", Units16({'A', 0xE9}), 1252, "A\xE9", false},
        {"UTF-16", "", "A\xE9", 1252, Units16({'A', 0xE9}), false},
        {"UTF-16", "utf-8", "\xF0\x90\x90\x80", 1252, Units16({0xD801, 0xDC00}), false},
        {"UTF-8", "UTF-32", Units32({'a', 0xE9, 0x4E2D, 0x10400}), 1252, "a\xC3\xA9\xE4\xB8\xAD\xF0\x90\x90\x80", false},
        {"UTF-16", "UTF-32", Units32({'a', 0x10400}), 1252, Units16({'a', 0xD801, 0xDC00}), false},
        {"latin1", "UTF-32", Units32({'a'}), 1252, "", false},
        {"UTF-32", "UTF-16", Units16({'a', 0xD801, 0xDC00, 'b'}), 1252, Units32({'a', 0x10400, 'b'}), false},
        {"UTF-32", "UTF-16", Units16({0xD801}), 1252, Units32({'?'}), false},
        {"UTF-32", "UTF-16", Units16({0xD801, 0, 'x'}), 1252, Units32({'?', 0, 'x'}), false},
        {"UTF-32", "UTF-8", "a\xC3\xA9\xFF\xF0\x90\x90\x80", 1252, Units32({'a', 0xE9, '?', 0x10400}), false},
        {"UTF-32", "latin1", "a", 1252, "", false},
        // Into a code page that has no such characters, every surrogate unit
        // becomes the default character, paired or not, and what follows it
        // stays.
        {"", "UTF-16", Units16({0xD800, 'A', 0xDC00, 'B'}), 1252, "?A?B", true},
        {"", "UTF-16", Units16({0xD800, 'A', 0xDC00, 'B'}), 936, "?A?B", true},
        {"", "UTF-16", Units16({'x', 0xD801, 0xDC00, 'C'}), 1252, "x??C", true},
        {"", "UTF-16", Units16({0x4E2D, 0xD801, 0xDC00, 'C'}), 936, "\xD6\xD0??C", true},
    };
    for (const ConvertCase& c : cases) {
        SCOPED_TRACE(std::string(c.to) + " <- " + c.from + " in " + std::to_string(c.ansi));
        bool lossy = !c.lossy;
        EXPECT_EQ(ConvertText(c.to, c.from, c.source, c.ansi, &lossy), c.result);
        EXPECT_EQ(lossy, c.lossy);
    }
}

TEST(XmlConversion, Utf8Test) {
    const std::pair<std::string, Utf8Test> cases[] = {
        {"", Utf8Test::kAscii},
        {"abc", Utf8Test::kAscii},
        {"caf\xC3\xA9", Utf8Test::kMultibyte},
        {"\xF0\x90\x90\x80", Utf8Test::kMultibyte},
        {"\xE4\xB8\xAD", Utf8Test::kMultibyte},
        {"caf\xE9", Utf8Test::kInvalid},
        {"caf\xC3", Utf8Test::kInvalid},
        {"\xE9t\xE9", Utf8Test::kInvalid},
        {"\xA9\xA9", Utf8Test::kInvalid},
        {"\xD6\xD0\xCE\xC4", Utf8Test::kInvalid},
        {"\xF8\x88\x80\x80\x80", Utf8Test::kInvalid},
        {std::string("ab\0\xFF", 4), Utf8Test::kAscii},
    };
    for (const auto& c : cases) EXPECT_EQ(TestUtf8(c.first.data(), c.first.size()), c.second) << c.first;
}

TEST(XmlConversion, DeclaredEncoding) {
    const std::pair<const char*, const char*> cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r/>", "windows-1252"},
        {"<?XML encoding='gb2312'?>", "gb2312"},
        {"<?xml version=\"1.0\"?><r/>", ""},
        {" <?xml encoding=\"x\"?><r/>", ""},
        {"<?xml encoding=\"x\"", ""},
        {"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"></head></html>",
         "gb2312"},
        {"<HTML><META HTTP-EQUIV=\"content-type\" CONTENT=\"text/html;Charset = utf-8;\">", "utf-8"},
        {"<html><head></head><meta http-equiv=\"Content-Type\" content=\"charset=x\">", ""},
        {"<body><html><meta http-equiv=\"Content-Type\" content=\"charset=x\">", ""},
        {"<html><meta http-equiv=\"Content-Type\" content=\"text/html\"><meta http-equiv=\"Content-Type\" "
         "content=\"charset=x\">",
         ""},
        {"<!-- c --><html><meta name=\"x\"><meta http-equiv=\"Content-Type\" content=\"charset=big5\">", "big5"},
        {"<html><1><meta http-equiv=\"Content-Type\" content=\"charset=x\">", ""},
        {"plain text", ""},
    };
    const CharClasses classes(1252);
    for (const auto& c : cases)
        EXPECT_EQ(FindDeclaredEncoding(c.first, std::strlen(c.first), classes), c.second) << c.first;
}

// The process's own code page: 1252 on the host; under Wine whatever the
// locale gives (936 for zh_CN), which the test run may tell us to expect.
TEST(XmlCodePage, DocumentsUseTheAnsiCodePageByDefault) {
    const uint32_t ansi = codepage::AnsiCodePage();
    if (const char* expected = std::getenv("VD_EXPECT_ANSI_CODE_PAGE")) {
        EXPECT_EQ(ansi, static_cast<uint32_t>(std::atoi(expected)));
    }
    XmlDocument doc;
    EXPECT_EQ(doc.CodePage(), ansi);
    doc.SetText("<r a=\"&#20013;\">\x81<</r>");
    const bool doubleByte = ansi == 936;
    EXPECT_EQ(doc.ParseText(), doubleByte);
    if (doubleByte) {
        ASSERT_TRUE(doc.NextElement());
        EXPECT_EQ(doc.AttributeValue("a"), "\xD6\xD0");
        EXPECT_EQ(doc.ElementText(), "\x81<");
    }
}

TEST(XmlCodePage, LeadBytes) {
    bool lead[256];
    ASSERT_TRUE(codepage::LeadBytes(936, lead));
    EXPECT_FALSE(lead[0x80]);
    EXPECT_TRUE(lead[0x81]);
    EXPECT_TRUE(lead[0xFE]);
    EXPECT_FALSE(lead[0xFF]);
    EXPECT_FALSE(lead[0x3C]);
    ASSERT_TRUE(codepage::LeadBytes(1252, lead));
    for (int b = 0; b < 256; ++b) EXPECT_FALSE(lead[b]) << b;
    ASSERT_TRUE(codepage::LeadBytes(65001, lead));
    for (int b = 0; b < 256; ++b) EXPECT_FALSE(lead[b]) << b;
}

}  // namespace
}  // namespace vd
