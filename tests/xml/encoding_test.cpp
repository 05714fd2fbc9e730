#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
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

// Every name of the charset table with its code page, one row per code page
// (names blank-separated; the seven-byte "cp1256 " is checked on its own).
const std::pair<int32_t, const char*> kCharsetNames[] = {
    {154, "cp154 csptcp154 cyrillic-asian pt154 ptcp154"},
    {437, "codepage437 cp437 cspc8 cspc8codepage437 ibm437"},
    {708, "asmo-708"},
    {720, "dos-720"},
    {737, "cp737 ibm737"},
    {775, "cp500 cp775 csibm500 cspc775baltic ebcdic-cp-be ebcdic-cp-ch ibm775"},
    {850, "cp850 cspc850multilingual ibm850"},
    {852, "cp852 cspcp852 ibm852"},
    {853, "cp853"},
    {855, "cp855 csibm855 ibm855"},
    {857, "cp857 csibm857 ibm857"},
    {858, "ccsid00858 cp00858 cp858 ibm00858 pc-multilingual-850+euro"},
    {860, "cp860 csibm860 ibm860"},
    {861, "cp-is cp861 csibm861 ibm861"},
    {862, "cp862 cspc862latinhebrew dos-862 ibm862"},
    {863, "cp863 csibm863 ibm863"},
    {864, "cp864 csibm864 ibm864"},
    {865, "cp865 csibm865 ibm865"},
    {866, "cp866 csibm866 ibm866"},
    {869, "cp-gr cp869 csibm869 ibm869"},
    {874, "cp874 dos-874 iso-8859-11 tis-620 windows-874"},
    {932,
     "cp932 csshiftjis cswindows31j ms932 ms_kanji shifft_jis shifft_jis-ms shift-jis shift_jis "
     "sjis sjis-ms sjis-open sjis-win windows-31j windows-932 x-ms-cp932 x-sjis"},
    {936,
     "chinese cn-gb cp936 csgb2312 csgb231280 csiso58gb231280 gb2312 gb2312-80 gb231280 "
     "gb_2312-80 gbk iso-ir-58 ms936 windows-936"},
    {949,
     "cp949 csksc56011987 iso-ir-149 korean ks-c-5601 ks-c5601 ks_c_5601 ks_c_5601-1987 "
     "ks_c_5601-1989 ks_c_5601_1987 ksc5601 ksc_5601 uhc"},
    {950, "big5 big5-hkscs cn-big5 cp950 csbig5 x-x-big5"},
    {1125, "cp1125"},
    {1133, "cp1133 ibm-cp1133"},
    {1200, "cp1200 ucs-2 ucs-2le unicode utf-16 utf-16le utf16 utf16le"},
    {1201, "cp1201 ucs-2be unicodefffe utf-16be utf16be"},
    {1250, "cp1250 ms-ee windows-1250 x-cp1250"},
    {1251, "cp1251 ms-cyrl windows-1251 x-cp1251"},
    {1252, "cp1252 ms-ansi windows-1252 x-ansi"},
    {1253, "cp1253 ms-greek windows-1253"},
    {1254, "cp1254 ms-turk windows-1254"},
    {1255, "cp1255 ms-hebr windows-1255"},
    {1256, "cp1256 ms-arab windows-1256"},
    {1257, "cp1257 winbaltrim windows-1257"},
    {1258, "cp1258 windows-1258"},
    {1361, "cp1361 johab"},
    {10000, "csmacintosh mac macintosh"},
    {10001, "x-mac-japanese"},
    {10002, "x-mac-chinesetrad"},
    {10003, "x-mac-korean"},
    {10004, "x-mac-arabic"},
    {10005, "x-mac-hebrew"},
    {10006, "x-mac-greek"},
    {10007, "x-mac-cyrillic"},
    {10008, "x-mac-chinesesimp"},
    {10010, "x-mac-romanian"},
    {10017, "x-mac-ukrainian"},
    {10021, "x-mac-thai"},
    {10029, "x-mac-ce"},
    {10079, "x-mac-icelandic"},
    {10081, "x-mac-turkish"},
    {10082, "x-mac-croatian"},
    {12000, "cp12000 utf-32 utf-32le utf32 utf32le"},
    {12001, "cp12001 utf-32be utf32be"},
    {20000, "x-chinese-cns x-chinese_cns"},
    {20001, "x-cp20001"},
    {20002, "x-chinese-eten x_chinese-eten"},
    {20003, "x-cp20003"},
    {20004, "x-cp20004"},
    {20005, "x-cp20005"},
    {20105, "x-ia5"},
    {20106, "x-ia5-german"},
    {20107, "x-ia5-swedish"},
    {20108, "x-ia5-norwegian"},
    {20127,
     "ansi_x3.4-1968 ansi_x3.4-1986 ascii cp367 csascii ibm367 iso-ir-6 iso-ir-6us iso646-us "
     "iso_646.irv:1991 us us-ascii"},
    {20261, "x-cp20261"},
    {20269, "x-cp20269"},
    {20866, "cskoi8r koi koi8 koi8-r koi8r"},
    {20932, "cseucpkdfmtjapanese euc-jp extended_unix_code_packed_format_for_japanese"},
    {20936, "x-cp20936"},
    {20949, "x-cp20949"},
    {21866, "koi8-ru koi8-u"},
    {28591, "cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 iso8859-1 iso_8859-1 iso_8859-1:1987 l1 latin1"},
    {28592, "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso_8859-2 iso_8859-2:1987 l2 latin2"},
    {28593, "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso_8859-3 iso_8859-3:1988 l3 latin3"},
    {28594, "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso_8859-4 iso_8859-4:1988 l4 latin4"},
    {28595, "csisolatin5 csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso_8859-5 iso_8859-5:1988"},
    {28596, "arabic csisolatinarabic ecma-114 iso-8859-6 iso-ir-127 iso8859-6 iso_8859-6 iso_8859-6:1987"},
    {28597,
     "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 iso8859-7 iso_8859-7 "
     "iso_8859-7:1987"},
    {28598, "csisolatinhebrew hebrew iso-8859-8 iso-ir-138 iso8859-8 iso_8859-8 iso_8859-8:1988 visual"},
    {28599, "iso-8859-9 iso-ir-148 iso8859-9 iso_8859-9 iso_8859-9:1989 l5 latin5"},
    {28603, "iso-8859-13 iso8859-13"},
    {28605, "iso-8859-15 iso8859-15 iso_8859-15 l9 latin-9 latin9"},
    {29001, "x-europa"},
    {38598, "iso-8859-8-i iso8859-8-i logical"},
    {50220, "iso-2022-jp"},
    {50221, "_iso-2022-jp cp50221 csiso2022jp iso-2022-jp-ms iso2022-jp-ms ms50221 windows-50221"},
    {50222, "_iso-2022-jp$sio"},
    {50225, "csiso2022kr iso-2022-kr iso2022-kr"},
    {50227, "x-cp50227"},
    {51932, "cp51932 ms51932 windows-51932 x-euc x-euc-jp"},
    {51936, "euc-cn x-euc-cn"},
    {51949, "cseuckr euc-kr"},
    {52936, "hz-gb-2312"},
    {54936, "gb18030 iso-4873:1986"},
    {57002, "x-iscii-de"},
    {57003, "x-iscii-be"},
    {57004, "x-iscii-ta"},
    {57005, "x-iscii-te"},
    {57006, "x-iscii-as"},
    {57007, "x-iscii-or"},
    {57008, "x-iscii-ka"},
    {57009, "x-iscii-ma"},
    {57010, "x-iscii-gu"},
    {57011, "x-iscii-pa"},
    {65000, "csunicode11utf7 unicode-1-1-utf-7 utf-7 x-unicode-2-0-utf-7"},
    {65001, "cp65001 unicode-1-1-utf-8 unicode-2-0-utf-8 utf-8 utf8 x-unicode-2-0-utf-8"},
};

TEST(XmlCharsets, EveryNameGivesItsCodePage) {
    int names = 0;
    for (const auto& row : kCharsetNames) {
        std::istringstream words(row.second);
        for (std::string name; words >> name; ++names) EXPECT_EQ(CharsetCodePage(name), row.first) << name;
    }
    EXPECT_EQ(CharsetCodePage("cp1256 "), 1256);
    EXPECT_EQ(names + 1, 365);
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
        {"UTF-8", "UTF-32", Units32({'a', 0xE9, 0x4E2D, 0x10400}), 1252, "a\xC3\xA9\xE4\xB8\xAD\xF0\x90\x90\x80",
         false},
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
