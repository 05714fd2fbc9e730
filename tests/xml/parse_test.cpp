#include "xml/xml_document.h"

#include <gtest/gtest.h>

namespace vd {
namespace {

TEST(XmlParse, Smoke) {
    XmlDocument doc(1252);
    doc.SetText("<r><a x=\"1\">t&amp;</a></r>");
    EXPECT_TRUE(doc.ParseText());
    EXPECT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementName(), "r");
}

}  // namespace
}  // namespace vd
