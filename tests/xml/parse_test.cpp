#include <gtest/gtest.h>

#include <string>

#include "xml/xml_document.h"
#include "xml_test_util.h"

namespace vd {
namespace {

using vdtest::Outline;

struct ParseCase {
    const char* text;
    bool wellFormed;
    const char* outline;
    const char* log;
};

TEST(XmlParse, DocumentsAndTheirErrors) {
    const ParseCase cases[] = {
        {"", false, "", ""},
        {"<r/>", true, "r", ""},
        {"<?xml version=\"1.0\"?>\r\n<!-- c -->text<r>t</r>  <!-- after --><?pi x?>", true, "r", ""},
        {"<!-- only -->", false, "", "<no_root_element/>"},
        {"just text", false, "", "<no_root_element/>"},
        {"<a/><b></b>", false, "a b", "<root_has_sibling/>"},
        {"<r><a><b/></r>", false, "r[a! b]", "<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"11\"/>"},
        {"<r><a><b><c/></a></r>", false, "r[a[b! c]]",
         "<unended_start_tag tagname=\"b\" offset=\"6\" offset2=\"14\"/>"},
        {"<r><a><b><c/></r>", false, "r[a! b! c]",
         "<unended_start_tag tagname=\"b\" offset=\"6\" offset2=\"14\"/>"
         "<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"14\"/>"},
        {"<r></x></r>", false, "r", "<lone_end_tag tagname=\"x\" offset=\"3\"/>"},
        {"<r><!-- x", false, "r!",
         "<unterminated_tag_syntax type=\"comment\" offset=\"3\"/>"
         "<unended_start_tag tagname=\"r\" offset=\"0\" offset2=\"9\"/>"},
        {"<r><a v=x/></r>", false, "r[a!]", "<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"12\"/>"},
        {"<r><a v=\"x\"/><b /><c\t/></r>", true, "r[a b c]", ""},
        {"<r><1/></r>", false, "r", "<first_tag_syntax offset=\"3\"/>"},
        {"<r><!x></r>", false, "r", "<exclamation_tag_syntax offset=\"3\"/>"},
        {"<r><!-x></r>", false, "r", "<comment_tag_syntax offset=\"3\"/>"},
        {"<r><![X[</r>", false, "r", "<cdata_section_syntax offset=\"3\"/>"},
        {"<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r a CDATA \"<>\"><!-- > --><?pi > ?>]><r/>", true, "r", ""},
        {"<!DOCTYPE r [<!X>]><r/>", false, "r", "<doctype_tag_syntax offset=\"0\"/>"},
        {"<r><![CDATA[ <x> ]]></r>", true, "r", ""},
        {"<r a='>' b=\"/>\"/>", true, "r", ""},
        // An unquoted value runs to a blank: a quote after an '=' inside it
        // opens nothing, so the first '>' ends the tag.
        {"<r a=x=\">\"/>", false, "r!", "<unended_start_tag tagname=\"r\" offset=\"0\" offset2=\"12\"/>"},
        {"<r a=b='c d'>t</r>", true, "r", ""},
        {"<r a=\"1\"", false, "", "<unterminated_tag_syntax type=\"start_tag\" offset=\"0\"/><no_root_element/>"},
        {"<r></r", false, "r!",
         "<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/>"
         "<unended_start_tag tagname=\"r\" offset=\"0\" offset2=\"6\"/>"},
        {"<r/><?pi", false, "r", "<unterminated_tag_syntax type=\"processing_instruction\" offset=\"4\"/>"},
        {"<r/><![CDATA[x", false, "r", "<unterminated_tag_syntax type=\"cdata_section\" offset=\"4\"/>"},
        {"<!DOCTYPE r", false, "", "<unterminated_tag_syntax type=\"document_type\" offset=\"0\"/><no_root_element/>"},
        {"<r/><", false, "r", "<unterminated_tag_syntax type=\"tag\" offset=\"4\"/>"},
        {"<r/><!", false, "r", "<unterminated_tag_syntax type=\"tag\" offset=\"4\"/>"},
        {"<r></R></r>", false, "r", "<lone_end_tag tagname=\"R\" offset=\"3\"/>"},
        {"<a:b.c-d></a:b.c-d >", true, "a:b.c-d", ""},
        {"<r>&lt;&amp;</r>", true, "r", ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        XmlDocument doc(1252);
        doc.SetText(c.text);
        EXPECT_EQ(doc.ParseText(), c.wellFormed);
        EXPECT_EQ(Outline(doc), c.outline);
        EXPECT_EQ(doc.ResultLog(), c.log);
        EXPECT_EQ(doc.ParentElement(), 0u);
        EXPECT_EQ(doc.CurrentElement(), 0u);
    }
}

// An end tag that does not close the innermost element closes the innermost
// one it selects: the same name, or a name that goes on with one of " =/[]"
// after it; with the case-ignoring flag single-byte letters fold, and in a
// double-byte code page the second byte of a character never folds.
TEST(XmlParse, EndTagsThatSkipOpenElements) {
    struct Case {
        const char* text;
        unsigned flags;
        unsigned codePage;
        const char* outline;
        const char* log;
    } cases[] = {
        {"<r><a=b><c></a></r>", 0, 1252, "r[a[c!]]", "<unended_start_tag tagname=\"c\" offset=\"8\" offset2=\"12\"/>"},
        {"<r><a[1]><c></a></r>", kDocIgnoreCase, 936, "r[a[1][c!]]",
         "<unended_start_tag tagname=\"c\" offset=\"9\" offset2=\"13\"/>"},
        {"<r><a=b=c><a><c></a=b></r>", 0, 1252, "r[a[a! c!]]",
         "<unended_start_tag tagname=\"c\" offset=\"13\" offset2=\"17\"/>"
         "<unended_start_tag tagname=\"a\" offset=\"10\" offset2=\"17\"/>"},
        {"<r><A><b></a></r>", 0, 1252, "r[A! b!]",
         "<lone_end_tag tagname=\"a\" offset=\"9\"/><unended_start_tag tagname=\"b\" offset=\"6\" offset2=\"14\"/>"
         "<unended_start_tag tagname=\"A\" offset=\"3\" offset2=\"14\"/>"},
        {"<r><A><b></a></r>", kDocIgnoreCase, 1252, "r[A[b!]]",
         "<unended_start_tag tagname=\"b\" offset=\"6\" offset2=\"10\"/>"},
        {"<r><\x81"
         "A><c></\x81"
         "a></r>",
         kDocIgnoreCase, 1252,
         "r[\x81"
         "A[c!]]",
         "<unended_start_tag tagname=\"c\" offset=\"7\" offset2=\"11\"/>"},
        {"<r><\x81"
         "A><c></\x81"
         "a></r>",
         kDocIgnoreCase, 936,
         "r[\x81"
         "A! c!]",
         "<lone_end_tag tagname=\"\x81"
         "a\" offset=\"10\"/>"
         "<unended_start_tag tagname=\"c\" offset=\"7\" offset2=\"16\"/>"
         "<unended_start_tag tagname=\"\x81"
         "A\" offset=\"3\" offset2=\"16\"/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " flags " + std::to_string(c.flags) + " code page " +
                     std::to_string(c.codePage));
        XmlDocument doc(c.codePage);
        doc.SetFlags(c.flags);
        doc.SetText(c.text);
        EXPECT_FALSE(doc.ParseText());
        EXPECT_EQ(Outline(doc), c.outline);
        EXPECT_EQ(doc.ResultLog(), c.log);
    }
}

// Deep nesting followed by end tags that close nothing: each end tag is found
// lone without comparing it with every open element.
TEST(XmlParse, ManyLoneEndTagsUnderDeepNesting) {
    constexpr int kDepth = 50000;
    std::string text;
    for (int i = 0; i < kDepth; ++i) text += "<a>";
    for (int i = 0; i < kDepth; ++i) text += "</b>";
    text += "</a>";
    XmlDocument doc(1252);
    doc.SetText(text);
    EXPECT_FALSE(doc.ParseText());
    EXPECT_EQ(doc.ElementCount(), static_cast<uint32_t>(kDepth + 1));
    EXPECT_EQ(doc.ResultLog().rfind("<lone_end_tag tagname=\"b\" offset=\"150000\"/>", 0), 0u);
    // The last end tag closed the innermost element; the others stay unended.
    const ElementRecord& innermost = doc.Element(kDepth);
    EXPECT_FALSE(innermost.Has(ElementRecord::kUnended));
    EXPECT_TRUE(doc.Element(1).Has(ElementRecord::kUnended));
}

TEST(XmlParse, AQuoteInsideAnUnquotedValueOpensNothing) {
    XmlDocument doc(1252);
    doc.SetText("<r a=b='>'>t</r>");
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.Element(doc.CurrentElement()).StartTagLength(), 9u);
    EXPECT_EQ(doc.AttributeValue("a"), "b='");
    EXPECT_EQ(doc.ElementText(), "'>t");
}

TEST(XmlParse, RecordsHoldOffsetsLengthsAndLinks) {
    XmlDocument doc(1252);
    doc.SetText("<r><a/>t<b></b></r>");
    ASSERT_TRUE(doc.ParseText());
    ASSERT_EQ(doc.ElementCount(), 4u);
    const ElementRecord& document = doc.Element(0);
    EXPECT_EQ(document.length, 19u);
    EXPECT_EQ(document.firstChild, 1u);
    const ElementRecord& r = doc.Element(1);
    EXPECT_EQ(r.start, 0u);
    EXPECT_EQ(r.length, 19u);
    EXPECT_EQ(r.StartTagLength(), 3u);
    EXPECT_EQ(r.EndTagLength(), 4u);
    EXPECT_EQ(r.Level(), 0u);
    EXPECT_EQ(r.firstChild, 2u);
    const ElementRecord& a = doc.Element(2);
    EXPECT_EQ(a.start, 3u);
    EXPECT_EQ(a.length, 4u);
    EXPECT_EQ(a.tagLengths, 4u);
    EXPECT_EQ(a.Level(), 1u);
    EXPECT_TRUE(a.Has(ElementRecord::kFirstChild));
    EXPECT_EQ(a.parent, 1u);
    EXPECT_EQ(a.nextSibling, 3u);
    EXPECT_EQ(a.previousSibling, 3u);  // the first child points at the last
    const ElementRecord& b = doc.Element(3);
    EXPECT_EQ(b.start, 8u);
    EXPECT_EQ(b.length, 7u);
    EXPECT_EQ(b.tagLengths, ElementRecord::TagLengths(3, 4));
    EXPECT_EQ(b.previousSibling, 2u);
    EXPECT_EQ(b.nextSibling, 0u);
    EXPECT_FALSE(b.Has(ElementRecord::kFirstChild));
}

TEST(XmlParse, ErrorFlagsMarkTheDocumentAndTheEnclosingElement) {
    XmlDocument doc(1252);
    doc.SetText("<r><a></x></a><b/></r>");
    EXPECT_FALSE(doc.ParseText());
    EXPECT_TRUE(doc.Element(0).Has(ElementRecord::kNotWellFormed));
    EXPECT_TRUE(doc.Element(2).Has(ElementRecord::kErrorInside));
    EXPECT_FALSE(doc.Element(1).Has(ElementRecord::kErrorInside));
    EXPECT_FALSE(doc.Element(3).Has(ElementRecord::kErrorInside));

    // An unended element hands its error flag to its parent.
    doc.SetText("<r><a><1></r>");
    EXPECT_FALSE(doc.ParseText());
    EXPECT_TRUE(doc.Element(1).Has(ElementRecord::kErrorInside));
    EXPECT_FALSE(doc.Element(2).Has(ElementRecord::kErrorInside));
    EXPECT_TRUE(doc.Element(2).Has(ElementRecord::kUnended));
    EXPECT_EQ(doc.Element(2).length, 3u);
}

TEST(XmlParse, ChildrenOfAnUnendedElementMoveUpWithTheirLevels) {
    XmlDocument doc(1252);
    doc.SetText("<r><u><c><d/></c><e/></r>");
    EXPECT_FALSE(doc.ParseText());
    EXPECT_EQ(Outline(doc), "r[u! c[d] e]");
    // r=1 u=2 c=3 d=4 e=5
    EXPECT_EQ(doc.Element(3).Level(), 1u);
    EXPECT_EQ(doc.Element(4).Level(), 2u);
    EXPECT_EQ(doc.Element(5).Level(), 1u);
    EXPECT_EQ(doc.Element(3).parent, 1u);
}

TEST(XmlParse, FlagsDecideTheWellFormedTest) {
    XmlDocument doc(1252);
    doc.SetText("<a/><b/>");
    EXPECT_FALSE(doc.ParseText());
    doc.SetFlags(kDocReading);
    EXPECT_TRUE(doc.IsWellFormed());  // bound to a file being read: only errors count
    doc.SetFlags(kDocWriting);
    EXPECT_TRUE(doc.IsWellFormed());
    doc.SetFlags(0);
    EXPECT_FALSE(doc.IsWellFormed());
    doc.SetText("<a></b></a>");
    doc.SetFlags(kDocReading);
    EXPECT_FALSE(doc.ParseText());
}

TEST(XmlParse, IgnoreCaseFlagMatchesEndTags) {
    XmlDocument doc(1252);
    doc.SetFlags(kDocIgnoreCase);
    doc.SetText("<Root><Item></ITEM></root>");
    EXPECT_TRUE(doc.ParseText());
    EXPECT_EQ(Outline(doc), "Root[Item]");
}

TEST(XmlParse, TheIndexGrowsAcrossSegments) {
    std::string text = "<r>";
    const int count = 70000;
    for (int i = 0; i < count; ++i) text += "<a/>";
    text += "</r>";
    XmlDocument doc(1252);
    doc.SetText(text);
    ASSERT_TRUE(doc.ParseText());
    EXPECT_EQ(doc.ElementCount(), static_cast<uint32_t>(count + 2));
    EXPECT_GE(doc.IndexBytes(), (count + 2) * sizeof(ElementRecord));
    doc.NextElement();
    int seen = 0;
    uint32_t lastStart = 0;
    while (doc.NextChildElement("a")) {
        ++seen;
        lastStart = doc.Element(doc.ChildElement()).start;
    }
    EXPECT_EQ(seen, count);
    EXPECT_EQ(lastStart, 3u + 4u * (count - 1));
}

TEST(XmlParse, DeepUnclosedNestingStaysLinear) {
    // 60,000 open elements all unended at the end of the text.
    std::string text;
    for (int i = 0; i < 60000; ++i) text += "<a>";
    XmlDocument doc(1252);
    doc.SetText(text);
    EXPECT_FALSE(doc.ParseText());
    int top = 0;
    for (uint32_t e = doc.Element(0).firstChild; e != 0; e = doc.Element(e).nextSibling) {
        EXPECT_EQ(doc.Element(e).Level(), 0u);
        ++top;
    }
    EXPECT_EQ(top, 60000);
}

TEST(XmlParse, SizesPastTheRecordLayoutAreRefused) {
    XmlDocument doc(1252);
    std::string text = "<r a=\"" + std::string(ElementRecord::kMaxStartTag, 'x') + "\"/>";
    doc.SetText(text);
    EXPECT_FALSE(doc.ParseText());
    EXPECT_EQ(doc.ResultLog(), "<size_limit type=\"start_tag\" offset=\"0\"/><no_root_element/>");
    EXPECT_EQ(doc.ElementCount(), 1u);

    XmlDocument end(1252);
    end.SetText("<r></r" + std::string(1100, ' ') + ">");
    EXPECT_FALSE(end.ParseText());
    EXPECT_EQ(end.ResultLog(),
              "<size_limit type=\"end_tag\" offset=\"3\"/><unended_start_tag tagname=\"r\" offset=\"0\" "
              "offset2=\"1107\"/>");

    XmlDocument deep(1252);
    std::string nested;
    for (uint32_t i = 0; i <= ElementRecord::kMaxLevel + 1; ++i) nested += "<a>";
    deep.SetText(nested);
    EXPECT_FALSE(deep.ParseText());
    EXPECT_EQ(deep.ResultLog().rfind("<size_limit type=\"level\"", 0), 0u) << deep.ResultLog().substr(0, 80);
    EXPECT_EQ(deep.ElementCount(), ElementRecord::kMaxLevel + 2);
}

// Code page 936: a lead byte and the byte after it are one character, so a
// trail byte that looks like '<', '\\', '"' or ']' is never taken for it.
struct CodePageCase {
    const char* text;
    bool wellFormed936;
    bool wellFormed1252;
};

TEST(XmlParse, TrailBytesNeverEndMarkup) {
    const CodePageCase cases[] = {
        {"<r>\x81<</r>", true, false},
        {"<r>\x81</r>", false, true},
        {"<r><![CDATA[\x81]]>x]]></r>", true, true},
        {"<r a=\"\x81\">t</r>", false, true},
        {"<r><!--\x81--></r>-->", false, true},
        {"<r><?p \x81?></r>?>", false, true},
    };
    for (const CodePageCase& c : cases) {
        SCOPED_TRACE(c.text);
        XmlDocument chinese(936);
        chinese.SetText(c.text);
        EXPECT_EQ(chinese.ParseText(), c.wellFormed936);
        XmlDocument western(1252);
        western.SetText(c.text);
        EXPECT_EQ(western.ParseText(), c.wellFormed1252);
    }
}

TEST(XmlParse, ReparsingReplacesTheIndexAndKeepsTheLog) {
    XmlDocument doc(1252);
    doc.SetText("<a/><b/>");
    EXPECT_FALSE(doc.ParseText());
    doc.SetText("<r><x/></r>");
    EXPECT_TRUE(doc.ParseText());
    EXPECT_EQ(Outline(doc), "r[x]");
    EXPECT_EQ(doc.ResultLog(), "<root_has_sibling/>");
}

}  // namespace
}  // namespace vd

namespace vd {
namespace {

TEST(XmlElementIndex, GrowthRule) {
    // Capacity starts at text length / 64 + 8 and grows by half of what is
    // used: 8 -> 12 for the twelve records of this document.
    std::string text = "<r>";
    for (int i = 0; i < 10; ++i) text += "<a/>";
    text += "</r>";
    XmlDocument doc(1252);
    doc.SetText(text);
    ASSERT_TRUE(doc.ParseText());
    EXPECT_EQ(doc.ElementCount(), 12u);
    EXPECT_EQ(doc.IndexBytes(), 12 * sizeof(ElementRecord));

    // One step never goes past the end of the next segment.
    ElementIndex index;
    index.Reset(300000);
    index[299999].start = 7;
    ASSERT_TRUE(index.Grow(300000));
    EXPECT_EQ(index.Capacity(), 6u << 16);
    EXPECT_EQ(index[299999].start, 7u);  // records survive the move
    index[(6u << 16) - 1].start = 9;
    ASSERT_TRUE(index.Grow(6u << 16));
    EXPECT_EQ(index.Capacity(), 7u << 16);
    EXPECT_EQ(index[(6u << 16) - 1].start, 9u);
    ElementIndex small;
    small.Reset(8);
    small[7].length = 5;
    ASSERT_TRUE(small.Grow(8));
    EXPECT_EQ(small.Capacity(), 12u);
    EXPECT_EQ(small[7].length, 5u);
}

}  // namespace
}  // namespace vd
