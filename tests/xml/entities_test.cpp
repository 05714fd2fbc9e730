#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "xml/entities.h"
#include "xml/entity_table.h"

namespace vd {
namespace {

struct DecodeCase {
    const char* escaped;
    const char* cp1252;
    const char* cp936;
};

TEST(XmlEntities, Decoding) {
    const DecodeCase cases[] = {
        {"&lt;a&gt;", "<a>", "<a>"},
        {"&amp;&AMP;&Amp;", "&&&", "&&&"},
        {"&quot;&apos;", "\"'", "\"'"},
        {"&Aacute;&aacute;&AACUTE;", "\xC1\xE1\xC1", nullptr},
        {"&Yuml;&yuml;", "\x9F\xFF", nullptr},
        {"&euro;&nbsp;", "\x80\xA0", nullptr},
        {"&abcdefghij;", "&abcdefghij;", "&abcdefghij;"},
        {"&#x0000041;", "A", "A"},
        {"&amp", "&amp", "&amp"},
        {"a & b", "a & b", "a & b"},
        {"&;&#;&#x;&unknown;", "&;&#;&#x;&unknown;", "&;&#;&#x;&unknown;"},
        {"&#0;&#x0;", "&#0;&#x0;", "&#0;&#x0;"},
        {"&#x41;&#X41;&#65;&#65abc;", "AAAA", "AAAA"},
        {"&#-65;&#x110000;&#xD800;", "&#-65;&#x110000;&#xD800;", "&#-65;&#x110000;&#xD800;"},
        // Numbers are read as strtol reads them: blanks, a '+' and a "0x"
        // before the digits are taken; a '-' leaves the reference literal.
        {"&# 65;&#\t+66;&#x 43;&#x+44;&#x0x45;&#X0X46;", "ABCDEF", "ABCDEF"},
        {"&#-0;&#- 65;&#+;&#x0x;&#x0xg;&#++65;", "&#-0;&#- 65;&#+;&#x0x;&#x0xg;&#++65;",
         "&#-0;&#- 65;&#+;&#x0x;&#x0xg;&#++65;"},
        {"&#66560;", "&#66560;", "&#66560;"},
        {"&#20013;", "&#20013;", "\xD6\xD0"},
        {"&\x81;", "&\x81;", "&\x81;"},
        {"\x81&amp;", "\x81&", "\x81&amp;"},
        {"&&lt;", "&<", "&<"},
    };
    const CharClasses cp1252(1252), cp936(936);
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.escaped);
        EXPECT_EQ(DecodeEntities(c.escaped, std::strlen(c.escaped), cp1252), c.cp1252);
        if (c.cp936) {
            EXPECT_EQ(DecodeEntities(c.escaped, std::strlen(c.escaped), cp936), c.cp936);
        }
    }
}

TEST(XmlEntities, NamedCodePoints) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"amp", 38},     {"AMP", 38},        {"apos", 39},     {"nbsp", 160},    {"euro", 8364},    {"Aacute", 193},
        {"aacute", 225}, {"aAcute", 225},    {"dagger", 8224}, {"Dagger", 8225}, {"darr", 8595},    {"dArr", 8659},
        {"DARR", 8659},  {"Darr", 8659},     {"dARR", 8659},   {"rarr", 8594},   {"rArr", 8658},    {"hArr", 8660},
        {"lArr", 8656},  {"uArr", 8657},     {"Prime", 8243},  {"prime", 8242},  {"thetasym", 977}, {"upsih", 978},
        {"zwnj", 8204},  {"diams", 9830},    {"sigmaf", 962},  {"Sigma", 931},   {"sigma", 963},    {"lang", 9001},
        {"x", 0},        {"notanentity", 0}, {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(EntityCodePoint(c.first), c.second) << c.first;
}

// The packed table: 253 entries, each in the bucket of its name, 189 distinct
// names, 64 of them twice with the capital form (the larger or the first
// code point) first.
TEST(XmlEntities, TableIntegrity) {
    int entries = 0;
    std::map<std::string, int> seen;
    for (unsigned b = 0; b < kEntityBuckets; ++b) {
        for (const char* p = kEntityTable[b]; *p;) {
            const int length = p[0] - '0';
            ASSERT_GE(length, 2);
            ASSERT_LE(length, 8);
            const std::string name(p + 5, static_cast<std::size_t>(length));
            uint32_t sum = 0;
            for (char ch : name) sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(ch)));
            EXPECT_EQ(sum % kEntityBuckets, b) << name;
            ++seen[name];
            ++entries;
            p += 5 + length;
        }
    }
    EXPECT_EQ(entries, 253);
    EXPECT_EQ(seen.size(), 189u);
    int doubled = 0;
    for (const auto& s : seen) doubled += s.second == 2;
    EXPECT_EQ(doubled, 64);
}

struct EscapeCase {
    const char* text;
    uint32_t flags;
    const char* escaped;
};

TEST(XmlEntities, Escaping) {
    const EscapeCase cases[] = {
        {"<a & b>", 0, "&lt;a &amp; b&gt;"},
        {"'\"", 0, "'\""},
        {"'\"", kEscapeQuotes, "&apos;&quot;"},
        {"&amp; &x; &#1; &_a.b-c:d; &\xE9t\xE9;", kEscapeKeepReferences, "&amp; &x; &#1; &_a.b-c:d; &\xE9t\xE9;"},
        {"& a &b c; &; &1;", kEscapeKeepReferences, "&amp; a &amp;b c; &amp;; &amp;1;"},
        {"&amp;", 0, "&amp;amp;"},
        {"", kEscapeQuotes, ""},
    };
    const CharClasses cp1252(1252);
    for (const EscapeCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(EscapeText(c.text, c.flags, cp1252), c.escaped);
    }
    // A double-byte character is copied whole, trail byte and all.
    EXPECT_EQ(EscapeText("\x81<<", 0, CharClasses(936)), "\x81<&lt;");
}

TEST(XmlEntities, CdataSections) {
    EXPECT_EQ(CdataSection("a<b>&c"), "<![CDATA[a<b>&c]]>");
    EXPECT_EQ(CdataSection(""), "<![CDATA[]]>");
    EXPECT_EQ(CdataSection("x]]>y"), "<![CDATA[x]]]]><![CDATA[>y]]>");
    EXPECT_EQ(CdataSection("]]>]]>"), "<![CDATA[]]]]><![CDATA[>]]]]><![CDATA[>]]>");
}

}  // namespace
}  // namespace vd
