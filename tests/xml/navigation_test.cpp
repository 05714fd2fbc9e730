#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xml_document.h"

namespace vd {
namespace {

const char kOverlay[] =
    "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"
    "<Overlay>\r\n"
    "  <Group Stamp=\"1.5\">\r\n"
    "    <Line ID=\"l1\" Color=\"ff0000\"><Point>1, 2</Point><Junk/><Point>3,4</Point></Line>\r\n"
    "    <Text ID='t1' Color=00ff00 Pos=\"5,6\">A &amp; B</Text>\r\n"
    "  </Group>\r\n"
    "  <Group Stamp=\"2\"><Line ID=\"l1\"/></Group>\r\n"
    "</Overlay>\r\n";

TEST(XmlNavigation, WalksAnOverlayDocument) {
    XmlDocument doc(1252);
    doc.SetText(kOverlay);
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementName(), "Overlay");
    doc.EnterElement();
    std::vector<std::string> seen;
    while (doc.NextElement()) {
        seen.push_back(doc.ElementName() + "@" + doc.AttributeValue("Stamp"));
        doc.EnterElement();
        while (doc.NextElement()) {
            std::string item = doc.ElementName() + ":" + doc.AttributeValue("ID") + ":" + doc.AttributeValue("Color") +
                               ":" + doc.AttributeValue("Pos") + ":" + doc.ElementText();
            while (doc.NextChildElement()) item += "|" + doc.ChildElementName() + "=" + doc.ChildElementText();
            seen.push_back(item);
        }
        doc.LeaveElement();
    }
    const std::vector<std::string> expected = {
        "Group@1.5", "Line:l1:ff0000::|Point=1, 2|Junk=|Point=3,4", "Text:t1:00ff00:5,6:A & B", "Group@2", "Line:l1:::",
    };
    EXPECT_EQ(seen, expected);
}

TEST(XmlNavigation, PositionRulesOfEachOperation) {
    XmlDocument doc(1252);
    doc.SetText("<r><a><x/><y/></a><b/></r>");
    ASSERT_TRUE(doc.ParseText());
    // r=1 a=2 x=3 y=4 b=5
    EXPECT_EQ(doc.CurrentNodeKind(), 0);
    doc.EnterElement();  // nothing current: no change
    EXPECT_EQ(doc.ParentElement(), 0u);
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.CurrentElement(), 1u);
    EXPECT_EQ(doc.CurrentNodeKind(), 1);
    EXPECT_FALSE(doc.NextElement());  // the root has no sibling
    EXPECT_EQ(doc.CurrentElement(), 1u);
    ASSERT_TRUE(doc.NextChildElement());
    EXPECT_EQ(doc.ChildElement(), 2u);
    doc.EnterElement();  // into r, with a current
    EXPECT_EQ(doc.ParentElement(), 1u);
    EXPECT_EQ(doc.CurrentElement(), 2u);
    EXPECT_EQ(doc.ChildElement(), 0u);
    ASSERT_TRUE(doc.NextChildElement("y"));
    EXPECT_EQ(doc.ChildElement(), 4u);
    EXPECT_FALSE(doc.NextChildElement());
    EXPECT_EQ(doc.ChildElement(), 4u);
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.CurrentElement(), 5u);
    EXPECT_EQ(doc.ChildElement(), 0u);
    EXPECT_FALSE(doc.NextChildElement());  // b is empty
    doc.EnterElement();                    // into b: nothing current there
    EXPECT_EQ(doc.ParentElement(), 5u);
    EXPECT_EQ(doc.CurrentElement(), 0u);
    EXPECT_EQ(doc.CurrentNodeKind(), 0);
    EXPECT_EQ(doc.ElementName(), "");
    EXPECT_EQ(doc.AttributeValue("x"), "");
    EXPECT_FALSE(doc.NextElement());
    doc.LeaveElement();
    EXPECT_EQ(doc.ParentElement(), 1u);
    EXPECT_EQ(doc.CurrentElement(), 5u);
    EXPECT_EQ(doc.ChildElement(), 0u);
    doc.LeaveElement();
    EXPECT_EQ(doc.ParentElement(), 0u);
    EXPECT_EQ(doc.CurrentElement(), 1u);
    EXPECT_EQ(doc.ChildElement(), 5u);
    doc.LeaveElement();  // at the document level: no change
    EXPECT_EQ(doc.CurrentElement(), 1u);
}

TEST(XmlNavigation, NextChildElementStartsAtTheFirstElement) {
    XmlDocument doc(1252);
    doc.SetText("<r><a/></r>");
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextChildElement());
    EXPECT_EQ(doc.CurrentElement(), 1u);
    EXPECT_EQ(doc.ChildElementName(), "a");
    // A failed look-up leaves the position as it was, even the first step.
    XmlDocument other(1252);
    other.SetText("<r/>");
    ASSERT_TRUE(other.ParseText());
    EXPECT_FALSE(other.NextChildElement());
    EXPECT_EQ(other.CurrentElement(), 0u);
}

TEST(XmlNavigation, FileFlagsStopNavigation) {
    XmlDocument doc(1252);
    doc.SetText("<r><a/></r>");
    ASSERT_TRUE(doc.ParseText());
    doc.SetFlags(kDocWriting);
    EXPECT_FALSE(doc.NextElement());
    doc.SetFlags(kDocReading);
    EXPECT_TRUE(doc.NextElement());
    EXPECT_FALSE(doc.NextChildElement());
    doc.SetFlags(0);
    EXPECT_TRUE(doc.NextChildElement());
    XmlDocument unparsed(1252);
    EXPECT_FALSE(unparsed.NextElement());
    EXPECT_FALSE(unparsed.NextChildElement());
}

struct NameCase {
    const char* name;
    bool matches;
};

TEST(XmlNavigation, NameArguments) {
    const NameCase cases[] = {
        {"", true},
        {"Line", true},
        {"Lin", false},
        {"LineX", false},
        {"line", false},
        {"Line/Point", true},
        {"Line[2]", true},
        {"Line[0]", false},
        {"Line[@ID]", true},
        {"Line[@ID='l1']", true},
        {"Line[@ID=l1]", true},
        {"Line[@ID=\"l1]", false},
        {"Line[Point]", true},
        {"Line[]", false},
        {"Line[1", false},
        {"Line/@ID", true},
        {"Line/@ID/x", false},
        {"/Line", false},
        {"Line//Point", false},
        {"Line x", false},
        {"Line=", false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        XmlDocument doc(1252);
        doc.SetText("<r><Line ID=\"l1\"/></r>");
        ASSERT_TRUE(doc.ParseText());
        ASSERT_TRUE(doc.NextElement());
        doc.EnterElement();
        EXPECT_EQ(doc.NextElement(c.name), c.matches);
    }
}

TEST(XmlNavigation, IgnoreCaseFlagFoldsNames) {
    XmlDocument doc(1252);
    doc.SetFlags(kDocIgnoreCase);
    doc.SetText("<r><LINE id=\"7\"/></r>");
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextChildElement("line"));
    doc.EnterElement();
    EXPECT_EQ(doc.ElementName(), "LINE");
    EXPECT_EQ(doc.AttributeValue("ID"), "7");
}

struct AttributeCase {
    const char* tag;
    const char* name;
    const char* value;
};

TEST(XmlNavigation, AttributeValues) {
    const AttributeCase cases[] = {
        {"<e a=\"1\" b='2' c=3/>", "a", "1"},
        {"<e a=\"1\" b='2' c=3/>", "b", "2"},
        {"<e a=\"1\" b='2' c=3 />", "c", "3"},
        {"<e a=\"1\" a=\"2\"/>", "a", "1"},
        {"<e a = \"x y\"/>", "a", "x y"},
        {"<e checked a=\"1\"/>", "checked", "checked"},
        {"<e checked/>", "checked", "checked"},
        {"<e href=a/b?c=d>", "href", "a/b?c=d"},
        {"<e a=\"&lt;&#65;&quot;\"/>", "a", "<A\""},
        {"<e a=\"1\"/>", "b", ""},
        {"<e a=\"1\"/>", "e", ""},
        {"<e a=\"1\"/>", "", ""},
        {"<e\ta\n=\r'\"'/>", "a", "\""},
        {"<e 'q'=\"v\"/>", "q", "v"},
        {"<e =\"v\" a=\"w\"/>", "a", "w"},
        {"<e a=/>", "a", "/"},
        {"<e a=>", "a", ""},
    };
    for (const AttributeCase& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + " " + c.name);
        XmlDocument doc(1252);
        doc.SetText(std::string(c.tag) + (std::string(c.tag).find("/>") == std::string::npos ? "</e>" : ""));
        doc.ParseText();
        ASSERT_TRUE(doc.NextElement());
        EXPECT_EQ(doc.AttributeValue(c.name), c.value);
    }
}

struct TextCase {
    const char* text;
    const char* element;
};

TEST(XmlNavigation, ElementTexts) {
    const TextCase cases[] = {
        {"<e>plain</e>", "plain"},
        {"<e>  spaced \r\n</e>", "  spaced \r\n"},
        {"<e>a &lt;b&gt; &amp;amp;</e>", "a <b> &amp;"},
        {"<e/>", ""},
        {"<e></e>", ""},
        {"<e>x<c/>y</e>", ""},
        {"<e>text<!-- comment --><![CDATA[<raw> &amp;]]> more</e>", "text<raw> &amp; more"},
        {"<e><?pi data?>a</e>", "a"},
        {"<e><![CDATA[]]></e>", ""},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.text);
        XmlDocument doc(1252);
        doc.SetText(c.text);
        ASSERT_TRUE(doc.ParseText());
        ASSERT_TRUE(doc.NextElement());
        EXPECT_EQ(doc.ElementText(), c.element);
        XmlDocument wrapped(1252);
        wrapped.SetText(std::string("<w>") + c.text + "</w>");
        ASSERT_TRUE(wrapped.ParseText());
        ASSERT_TRUE(wrapped.NextChildElement());
        EXPECT_EQ(wrapped.ChildElementText(), c.element);
    }
}

TEST(XmlNavigation, UnendedElementHasNoText) {
    XmlDocument doc(1252);
    doc.SetText("<r><a>text</r>");
    EXPECT_FALSE(doc.ParseText());
    ASSERT_TRUE(doc.NextChildElement("a"));
    EXPECT_EQ(doc.ChildElementText(), "");
    EXPECT_EQ(doc.ChildElementName(), "a");
}

TEST(XmlNavigation, DoubleByteNamesAndValues) {
    // Under 936 "\x95\x5C" is one character whose trail byte is a backslash.
    const std::string text = "<r><\x95\x5Cx a=\"\xD6\xD0\">\xCE\xC4</\x95\x5Cx><![CDATA[\x81]]>x]]></r>";
    XmlDocument chinese(936);
    chinese.SetText(text);
    ASSERT_TRUE(chinese.ParseText());
    ASSERT_TRUE(chinese.NextElement());
    EXPECT_EQ(chinese.ElementText(), "");
    ASSERT_TRUE(chinese.NextChildElement());
    EXPECT_EQ(chinese.ChildElementName(), "\x95\x5Cx");
    EXPECT_EQ(chinese.ChildElementText(), "\xCE\xC4");
    chinese.EnterElement();
    EXPECT_EQ(chinese.AttributeValue("a"), "\xD6\xD0");
    XmlDocument byName(936);
    byName.SetText(text);
    ASSERT_TRUE(byName.ParseText());
    EXPECT_TRUE(byName.NextChildElement("\x95\x5Cx"));
    EXPECT_FALSE(byName.NextChildElement("\x95\x5Cx"));

    XmlDocument western(1252);
    western.SetText(text);
    ASSERT_TRUE(western.ParseText());
    ASSERT_TRUE(western.NextChildElement());
    EXPECT_EQ(western.ChildElementName(), "\x95");  // the name stops at the backslash

    XmlDocument cdata(936);
    cdata.SetText("<r><![CDATA[\x81]]>x]]></r>");
    ASSERT_TRUE(cdata.ParseText());
    ASSERT_TRUE(cdata.NextElement());
    EXPECT_EQ(cdata.ElementText(), "\x81]]>x");
    XmlDocument cdata1252(1252);
    cdata1252.SetText("<r><![CDATA[\x81]]>x]]></r>");
    ASSERT_TRUE(cdata1252.ParseText());
    ASSERT_TRUE(cdata1252.NextElement());
    EXPECT_EQ(cdata1252.ElementText(), "\x81x]]>");
}

}  // namespace
}  // namespace vd

namespace vd {
namespace {

TEST(XmlNavigation, ZeroBytesInsideATagAreOrdinaryBytes) {
    XmlDocument doc(1252);
    doc.SetText(std::string("<e a\0b=\"1\" c=2 \0/>", 18));
    doc.ParseText();
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.AttributeValue("c"), "2");
    EXPECT_EQ(doc.AttributeValue("b"), "");
    EXPECT_EQ(doc.AttributeValue(std::string("a\0b", 3)), "1");
    EXPECT_TRUE(doc.SetAttribute("d", "4"));
    EXPECT_EQ(doc.AttributeValue("d"), "4");
}

}  // namespace
}  // namespace vd
