// The calls that hand out views of the document (names, attributes, texts)
// give what the copying calls give, on every element of documents with every
// form of attribute and content; several attributes read in one scan are what
// each read alone gives; and code pages with and without double-byte
// characters read ASCII markup alike.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "xml/xml_document.h"

namespace vd {
namespace {

const char* const kDocuments[] = {
    "<Overlay><Group Stamp=\"1.5\"><Line ID=\"l1\" Color=\"ff0000\"><Point>1, 2</Point><Point>3,4</Point></Line>"
    "<Text ID='t1' Color=00ff00 Pos=\"5,6\">A &amp; B</Text></Group><Group Stamp=\"2\"><Line ID=\"l1\"/></Group>"
    "</Overlay>",
    // Unquoted values holding '=', '/' and '?'; a value directly before "/>";
    // an attribute without a value; a value without a name; the same
    // attribute twice; blanks around '='.
    "<r a=x=y b=p/q c=? d e = 'sp ace' =orphan f=\"1\" f=\"2\" g=last/>",
    "<r><e ID = \"x\"Color='y'/><e ID/><e Color=/><e ID=\"unterminated/></r>",
    // References in values and texts, and mixed content.
    "<r><t v=\"&lt;&#65;&#x42;&quot;&unknown;&\">x &gt; y<!-- c --><![CDATA[<raw>]]>&amp;z<?pi x?></t>"
    "<u>plain</u><w/><v></v><x><y/>text</x></r>",
    // Names that start like others, and names ending at every kind of stop.
    "<r><Line/><Lines/><Lin/><Line\tID=\"tab\"/><Line\r\nID=\"crlf\"/><Line/ ><Point>9,9</Point><Pointer/></r>",
    // Names and values past the short cases.
    "<r><AVeryLongElementNameIndeed AnAttributeWithALongName=\"a value that runs on for a while\" "
    "Another=\"0123456789abcdef0123456789\">content that is longer than a word or two</AVeryLongElementNameIndeed></r>",
};

const std::string_view kAttributeNames[] = {"ID",   "Color", "Pos", "Stamp",   "a",
                                            "b",    "c",     "d",   "e",       "f",
                                            "g",    "v",     "An",  "Another", "AnAttributeWithALongName",
                                            "f[1]", "x",     ""};

const std::string_view kElementNames[] = {"Line",
                                          "Lines",
                                          "Lin",
                                          "Point",
                                          "Pointer",
                                          "r",
                                          "t",
                                          "e",
                                          "",
                                          "Line ",
                                          "Li ne",
                                          "Line>",
                                          "Line/",
                                          "Overlay",
                                          "Group",
                                          "Text",
                                          "AVeryLongElementNameIndeed"};

// Everything the views give for the current element, as text, compared with
// the copying calls on the way.
std::string CheckCurrent(const XmlDocument& doc) {
    std::string seen = doc.ElementName();
    EXPECT_EQ(doc.ElementNameView(), doc.ElementName());
    for (std::string_view name : kElementNames)
        EXPECT_EQ(doc.ElementNameIs(name), doc.ElementName() == name)
            << "'" << name << "' against " << doc.ElementName();
    std::string scratch;
    EXPECT_EQ(doc.ElementTextView(scratch), doc.ElementText());
    for (std::string_view name : kAttributeNames) {
        EXPECT_EQ(doc.AttributeValueView(name, scratch), doc.AttributeValue(name)) << name;
        seen += "|" + std::string(name) + "=" + doc.AttributeValue(name);
    }
    // Several at once, in windows of every size and from every start, and
    // all of them (more than one scan holds).
    constexpr std::size_t n = std::size(kAttributeNames);
    for (std::size_t from = 0; from < n; ++from)
        for (std::size_t count = 1; from + count <= n; count += 3) {
            std::vector<std::string_view> values(count);
            std::vector<std::string> scratches(count);
            doc.AttributeValueViews(kAttributeNames + from, count, values.data(), scratches.data());
            for (std::size_t k = 0; k < count; ++k)
                EXPECT_EQ(values[k], doc.AttributeValue(kAttributeNames[from + k]))
                    << kAttributeNames[from + k] << " read with " << count << " names";
        }
    return seen;
}

std::string Walk(XmlDocument& doc) {
    std::string seen;
    // Depth first through every element, the children's views checked from
    // their parent too.
    std::function<void()> visit = [&]() {
        while (doc.NextElement()) {
            seen += CheckCurrent(doc) + "\n";
            std::string scratch;
            while (doc.NextChildElement()) {
                EXPECT_EQ(doc.ChildElementNameView(), doc.ChildElementName());
                for (std::string_view name : kElementNames)
                    EXPECT_EQ(doc.ChildElementNameIs(name), doc.ChildElementName() == name) << name;
                EXPECT_EQ(doc.ChildElementTextView(scratch), doc.ChildElementText());
            }
            doc.EnterElement();
            visit();
            doc.LeaveElement();
        }
    };
    visit();
    return seen;
}

TEST(XmlViews, AgreeWithTheCopyingCalls) {
    for (const char* text : kDocuments) {
        SCOPED_TRACE(text);
        XmlDocument doc(1252);
        doc.SetText(text);
        doc.ParseText();
        EXPECT_FALSE(Walk(doc).empty());
    }
}

TEST(XmlViews, DoubleByteCodePagesReadAsciiMarkupAlike) {
    for (const char* text : kDocuments) {
        SCOPED_TRACE(text);
        XmlDocument single(1252), doubleByte(936);
        single.SetText(text);
        doubleByte.SetText(text);
        single.ParseText();
        doubleByte.ParseText();
        EXPECT_EQ(Walk(doubleByte), Walk(single));
    }
}

TEST(XmlViews, DoubleByteCharactersAreStepped) {
    // Trail bytes that are '"', '=', '>' or '/' in ASCII do not end a value,
    // a name or a tag; a comparison of names never starts inside a character.
    const std::string text =
        "<r><e a=\"\x81\x22\x81\x3D\" b=\x81\x3E\x81\x2F c=x /><\x81\x40 d=\"1\"/><\x81\x40\x81\x41 d=\"2\"/></r>";
    XmlDocument doc(936);
    doc.SetText(text);
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextElement());
    doc.EnterElement();
    ASSERT_TRUE(doc.NextElement());
    std::string scratch[3];
    std::string_view values[3];
    const std::string_view names[3] = {"a", "b", "c"};
    doc.AttributeValueViews(names, 3, values, scratch);
    EXPECT_EQ(values[0], "\x81\x22\x81\x3D");
    EXPECT_EQ(values[1], "\x81\x3E\x81\x2F");
    EXPECT_EQ(values[2], "x");
    ASSERT_TRUE(doc.NextElement());
    EXPECT_TRUE(doc.ElementNameIs("\x81\x40"));
    EXPECT_EQ(doc.AttributeValueView("d", scratch[0]), "1");
    ASSERT_TRUE(doc.NextElement());
    EXPECT_FALSE(doc.ElementNameIs("\x81\x40"));
    EXPECT_TRUE(doc.ElementNameIs("\x81\x40\x81\x41"));
    Walk(doc);
}

}  // namespace
}  // namespace vd
