#include <gtest/gtest.h>

#include <string>

#include "xml/xml_document.h"
#include "xml_test_util.h"

namespace vd {
namespace {

using vdtest::Outline;

// The index after editing must be the one a fresh parse of the new text builds.
void ExpectSameIndex(const XmlDocument& edited, const XmlDocument& fresh, uint32_t a, uint32_t b) {
    uint32_t x = edited.Element(a).firstChild, y = fresh.Element(b).firstChild;
    while (x != 0 && y != 0) {
        const ElementRecord& ex = edited.Element(x);
        const ElementRecord& fy = fresh.Element(y);
        EXPECT_EQ(ex.start, fy.start);
        EXPECT_EQ(ex.length, fy.length);
        EXPECT_EQ(ex.tagLengths, fy.tagLengths);
        EXPECT_EQ(ex.Level(), fy.Level());
        ExpectSameIndex(edited, fresh, x, y);
        x = ex.nextSibling;
        y = fy.nextSibling;
    }
    EXPECT_EQ(x, 0u);
    EXPECT_EQ(y, 0u);
}

void ExpectConsistent(const XmlDocument& doc) {
    XmlDocument fresh(doc.CodePage());
    fresh.SetText(doc.Text());
    fresh.ParseText();
    EXPECT_EQ(doc.Element(0).length, doc.Text().size());
    EXPECT_EQ(Outline(doc), Outline(fresh));
    ExpectSameIndex(doc, fresh, 0, 0);
}

TEST(XmlEditing, BuildsADocumentFromNothing) {
    XmlDocument doc(1252);
    ASSERT_TRUE(doc.AddElement("r"));
    EXPECT_EQ(doc.Text(), "<r/>\r\n");
    ASSERT_TRUE(doc.AddElement("a", nullptr, kAddChild));
    EXPECT_EQ(doc.Text(), "<r>\r\n<a/>\r\n</r>\r\n");
    ASSERT_TRUE(doc.AddElement("b", "x<y", kAddChild));
    EXPECT_EQ(doc.Text(), "<r>\r\n<a/>\r\n<b>x&lt;y</b>\r\n</r>\r\n");
    EXPECT_EQ(doc.ChildElementName(), "b");
    EXPECT_EQ(doc.ChildElementText(), "x<y");
    ExpectConsistent(doc);
    EXPECT_TRUE(doc.IsWellFormed());
}

struct AddCase {
    const char* text;
    int childSteps;  // how many children of the root to step to first (-1: add at the root's level)
    const char* name;
    const char* data;
    uint32_t flags;
    const char* result;
};

TEST(XmlEditing, AddElementFlags) {
    const AddCase cases[] = {
        {"<r><a/><b/></r>", 1, "n", nullptr, kAddChild | kAddNoLineBreaks, "<r><a/><n/><b/></r>"},
        {"<r><a/><b/></r>", 1, "n", nullptr, kAddChild | kAddNoLineBreaks | kAddBefore, "<r><n/><a/><b/></r>"},
        {"<r><a/><b/></r>", 2, "n", nullptr, kAddChild | kAddNoLineBreaks | kAddBefore, "<r><a/><n/><b/></r>"},
        {"<r><a/><b/></r>", 0, "n", nullptr, kAddChild | kAddNoLineBreaks, "<r><a/><b/><n/></r>"},
        {"<r><a/><b/></r>", 0, "n", nullptr, kAddChild | kAddNoLineBreaks | kAddBefore, "<r><n/><a/><b/></r>"},
        {"<r><a><c/></a><b/></r>", 1, "n", "d", kAddChild | kAddNoLineBreaks | kAddReplaceContent, "<r><n>d</n></r>"},
        {"<r><a/></r>", 0, "n", nullptr, kAddChild | kAddNoLineBreaks | kAddSpacedEmpty, "<r><a/><n /></r>"},
        {"<r><a/></r>", 0, "n", "<![x]]>", kAddChild | kAddNoLineBreaks | kAddCdata,
         "<r><a/><n><![CDATA[<![x]]]]><![CDATA[>]]></n></r>"},
        {"<r><a/></r>", 0, "n", "'\"&amp;", kAddChild | kAddNoLineBreaks, "<r><a/><n>'\"&amp;amp;</n></r>"},
        {"<r><a/></r>", 0, "n", "'\"&amp;", kAddChild | kAddNoLineBreaks | kAddEscapeQuotes | kAddKeepReferences,
         "<r><a/><n>&apos;&quot;&amp;</n></r>"},
        {"<r a=\"1\" />", 0, "n", nullptr, kAddChild | kAddNoLineBreaks, "<r a=\"1\" ><n/></r>"},
        {"<r></r>", 0, "n", nullptr, kAddChild, "<r>\r\n<n/>\r\n</r>"},
        {"<r>\r\n  <a/>\r\n  <b/>\r\n</r>", 1, "n", nullptr, kAddChild, "<r>\r\n  <a/>\r\n  <n/>\r\n<b/>\r\n</r>"},
        {"<r><a/></r>", -1, "n", nullptr, kAddNoLineBreaks, "<r><a/></r><n/>"},
        {"<r><a/></r>", -1, "n", nullptr, kAddNoLineBreaks | kAddBefore, "<n/><r><a/></r>"},
        {"<?xml version=\"1.0\"?><r/>", -1, "n", nullptr, kAddNoLineBreaks | kAddReplaceContent, "<n/>"},
    };
    for (const AddCase& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " flags " + std::to_string(c.flags));
        XmlDocument doc(1252);
        doc.SetText(c.text);
        doc.ParseText();
        if (c.childSteps >= 0) {
            ASSERT_TRUE(doc.NextElement());
            for (int i = 0; i < c.childSteps; ++i) ASSERT_TRUE(doc.NextChildElement());
        } else if (c.flags & kAddBefore) {
            ASSERT_TRUE(doc.NextElement());
        }
        ASSERT_TRUE(doc.AddElement(c.name, c.data, c.flags));
        EXPECT_EQ(doc.Text(), c.result);
        if (c.flags & kAddChild)
            EXPECT_EQ(doc.ChildElementName(), c.name);
        else
            EXPECT_EQ(doc.ElementName(), c.name);
        ExpectConsistent(doc);
    }
}

TEST(XmlEditing, StartTagOnlyMarksTheElementUnended) {
    XmlDocument doc(1252);
    doc.SetText("<r></r>");
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextElement());
    ASSERT_TRUE(doc.AddElement("open", nullptr, kAddChild | kAddNoLineBreaks | kAddStartTagOnly));
    EXPECT_EQ(doc.Text(), "<r><open></r>");
    EXPECT_TRUE(doc.Element(doc.ChildElement()).Has(ElementRecord::kUnended));
    EXPECT_EQ(doc.Element(doc.ChildElement()).length, 6u);
    EXPECT_EQ(doc.Element(1).length, 13u);
}

TEST(XmlEditing, RefusedAdditions) {
    XmlDocument doc(1252);
    doc.SetText("<r/>");
    ASSERT_TRUE(doc.ParseText());
    EXPECT_FALSE(doc.AddElement("n", nullptr, kAddChild));  // nothing current
    EXPECT_FALSE(doc.AddElement("n", "data", kAddStartTagOnly));
    EXPECT_FALSE(doc.AddElement(""));
    EXPECT_FALSE(doc.AddElement("a b"));
    EXPECT_FALSE(doc.AddElement("1a"));
    EXPECT_FALSE(doc.AddElement("a/"));
    EXPECT_FALSE(doc.AddElement(std::string(1021, 'a')));
    doc.SetFlags(kDocReading);
    ASSERT_TRUE(doc.NextElement());
    EXPECT_FALSE(doc.AddElement("n", nullptr, kAddChild));
    EXPECT_FALSE(doc.SetAttribute("a", "1"));
    EXPECT_EQ(doc.Text(), "<r/>");
}

TEST(XmlEditing, AChildPastTheDeepestLevelIsRefused) {
    // The innermost of these elements sits at the deepest level a record holds.
    const uint32_t depth = ElementRecord::kMaxLevel + 1;
    std::string text;
    for (uint32_t i = 0; i < depth; ++i) text += "<a>";
    for (uint32_t i = 0; i < depth; ++i) text += "</a>";
    XmlDocument doc(1252);
    doc.SetText(text);
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextElement());
    for (uint32_t i = 1; i < depth; ++i) {
        ASSERT_TRUE(doc.NextChildElement());
        doc.EnterElement();
    }
    ASSERT_EQ(doc.Element(doc.CurrentElement()).Level(), ElementRecord::kMaxLevel);
    const uint32_t count = doc.ElementCount();
    EXPECT_FALSE(doc.AddElement("n", nullptr, kAddChild | kAddNoLineBreaks));
    EXPECT_TRUE(doc.Text() == text);  // unchanged (too long to print)
    EXPECT_EQ(doc.ElementCount(), count);
    // A sibling at that level still fits.
    ASSERT_TRUE(doc.AddElement("n", nullptr, kAddNoLineBreaks));
    EXPECT_EQ(doc.Element(doc.CurrentElement()).Level(), ElementRecord::kMaxLevel);
}

struct AttributeCase {
    const char* text;
    const char* name;
    const char* value;
    const char* result;
};

TEST(XmlEditing, SetAttribute) {
    const AttributeCase cases[] = {
        {"<r/>", "a", "1", "<r a=\"1\"/>"},
        {"<r />", "a", "1", "<r a=\"1\" />"},
        {"<r></r>", "a", "1", "<r a=\"1\"></r>"},
        {"<r b='2'  ></r>", "a", "1", "<r b='2' a=\"1\"  ></r>"},
        {"<r a='x' b=y></r>", "a", "2", "<r a=\"2\" b=y></r>"},
        {"<r a='x' b=y></r>", "b", "", "<r a='x' b=\"\"></r>"},
        {"<r checked />", "checked", "yes", "<r checked=\"yes\" />"},
        {"<r/>", "v", "\"<'&>", "<r v=\"&quot;&lt;&apos;&amp;&gt;\"/>"},
        {"<r><c/></r><!--x-->", "a", "long value", "<r a=\"long value\"><c/></r><!--x-->"},
    };
    for (const AttributeCase& c : cases) {
        SCOPED_TRACE(c.text);
        XmlDocument doc(1252);
        doc.SetText(c.text);
        doc.ParseText();
        ASSERT_TRUE(doc.NextElement());
        ASSERT_TRUE(doc.SetAttribute(c.name, c.value));
        EXPECT_EQ(doc.Text(), c.result);
        EXPECT_EQ(doc.AttributeValue(c.name), c.value);
        ExpectConsistent(doc);
    }
}

TEST(XmlEditing, SetAttributeTwiceAndNumbers) {
    XmlDocument doc(1252);
    doc.SetText("<r><a x='old'>t</a><b/></r>");
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextElement());
    doc.EnterElement();
    ASSERT_TRUE(doc.NextElement("a"));
    ASSERT_TRUE(doc.SetAttribute("x", "first"));
    ASSERT_TRUE(doc.SetAttribute("x", "second"));
    ASSERT_TRUE(doc.SetAttribute("n", -5));
    EXPECT_EQ(doc.Text(), "<r><a x=\"second\" n=\"-5\">t</a><b/></r>");
    EXPECT_EQ(doc.ElementText(), "t");
    ASSERT_TRUE(doc.NextElement("b"));
    EXPECT_EQ(doc.ElementName(), "b");
    ExpectConsistent(doc);
    XmlDocument empty(1252);
    EXPECT_FALSE(empty.SetAttribute("a", "1"));
    EXPECT_FALSE(doc.SetAttribute("bad name", "1"));
}

TEST(XmlEditing, ManyEditsKeepTheIndexInStep) {
    XmlDocument doc(1252);
    ASSERT_TRUE(doc.AddElement("root"));
    for (int g = 0; g < 20; ++g) {
        ASSERT_TRUE(doc.AddElement("Group", nullptr, kAddChild));
        doc.EnterElement();
        ASSERT_TRUE(doc.SetAttribute("Stamp", g));
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(doc.AddElement("Point", "1,2", kAddChild | (i == 1 ? kAddBefore : 0)));
        ASSERT_TRUE(doc.SetAttribute("ID", "line & more"));
        doc.LeaveElement();
    }
    ExpectConsistent(doc);
    EXPECT_TRUE(doc.IsWellFormed());
    XmlDocument fresh(1252);
    fresh.SetText(doc.Text());
    ASSERT_TRUE(fresh.ParseText());
}

TEST(XmlResultLog, EntriesStopAfterTheLimit) {
    std::string log;
    const CharClasses classes(1252);
    XmlDocument::AppendResultEntry(log, classes, "unended_start_tag", "tagname", "a\"b", "offset", 3, 11);
    EXPECT_EQ(log, "<unended_start_tag tagname=\"a&quot;b\" offset=\"3\" offset2=\"11\"/>");
    log.clear();
    XmlDocument::AppendResultEntry(log, classes, "read", "encoding", "", "length", 0);
    EXPECT_EQ(log, "<read encoding=\"\" length=\"0\"/>");
    while (log.size() <= 999) XmlDocument::AppendResultEntry(log, classes, "lone_end_tag", "tagname", "x", "offset", 7);
    const std::string full = log;
    EXPECT_EQ(full.substr(full.size() - 2), "/>");
    XmlDocument::AppendResultEntry(log, classes, "no_root_element");
    EXPECT_EQ(log, full);

    // A parse that meets many errors stops logging too.
    XmlDocument doc(1252);
    std::string text = "<r>";
    for (int i = 0; i < 200; ++i) text += "</x>";
    doc.SetText(text + "</r>");
    EXPECT_FALSE(doc.ParseText());
    EXPECT_GT(doc.ResultLog().size(), 999u);
    EXPECT_LT(doc.ResultLog().size(), 1100u);
}

}  // namespace
}  // namespace vd
