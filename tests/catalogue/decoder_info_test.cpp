#include "catalogue/decoder_info.h"

#include <gtest/gtest.h>

namespace vd {
namespace {

TEST(ParseDecoderInfo, Items) {
    struct Case {
        const char* text;
        PropertyMap expected;
    } cases[] = {
        {"", {}},
        {"Protocol=RTP", {{"Protocol", "RTP"}}},
        {"Protocol=a=b", {{"Protocol", "a=b"}}},
        {"Protocol=RTP;Protocol=TCP", {{"Protocol", "TCP"}}},
        {"Protocol=", {{"Protocol", ""}}},
        {"A=1;B=2;", {{"A", "1"}, {"B", "2"}}},
        {" A = 1 ", {{" A ", " 1 "}}},  // nothing is trimmed
        {"x;y;z", {{"Name", "x"}, {"Name1", "y"}, {"Name2", "z"}}},
        {"x;K=v;y", {{"Name", "x"}, {"K", "v"}, {"Name1", "y"}}},
        {";", {{"Name", ""}}},  // an empty item without '=' is still an unnamed item
        {"=v", {}},             // empty key at the end: nothing stored
        {"=v;", {{"", "v"}}},   // but ';' stores it
        {"K=v;=", {{"K", "v"}}},
        {"Check=0,4,AB|1,2;FileHeadLen=40", {{"Check", "0,4,AB|1,2"}, {"FileHeadLen", "40"}}},
        {"Name=n;solo", {{"Name", "solo"}}},  // a generated key replaces an earlier one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseDecoderInfo(c.text), c.expected);
    }
}

TEST(ParseDecoderInfo, BytesAreComparedOneByOne) {
    // The trail byte of a double-byte character may equal ';' or '='; the
    // SDK text is read byte by byte all the same.
    const std::string text = "K=\x81;V";
    EXPECT_EQ(ParseDecoderInfo(text), (PropertyMap{{"K", "\x81"}, {"Name", "V"}}));
}

TEST(SplitText, Pieces) {
    using Pieces = std::vector<std::string>;
    struct {
        const char* text;
        Pieces expected;
    } cases[] = {
        {"", {}},          {"a", {"a"}}, {"a||b", {"a", "", "b"}}, {"a|", {"a"}},
        {"|a", {"", "a"}}, {"|", {""}},  {"||", {"", ""}},         {"a,b|c", {"a,b", "c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SplitText(c.text, '|'), c.expected);
    }
}

TEST(CheckRule, Rewrites) {
    struct {
        const char* sdk;
        const char* catalogue;
    } cases[] = {
        {"", ""},
        {"0,ABCD", "0,ABCD"},
        {"0,4,ABCD", "0,ABCD"},
        {"0,4,0x1234", ""},
        {"0,4,0X1234", ""},
        {"0,4,AB", ""},
        {"0,4,ABC", "0,ABC"},
        {"0,4,ABC|8,TAG|x", "0,ABC|8,TAG"},
        {"0,4,0X10||2,EF", "2,EF"},
        {"a,b,c,d|e,f", "e,f"},
        {"|0,A|", "0,A"},
        {"0,4,0yAB", "0,0yAB"},
        {"1,,XYZ", "1,XYZ"},
        {",", ""},  // one empty piece and nothing after it: one field
        {"a,", ""},
        {",b", ",b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sdk);
        EXPECT_EQ(CheckRule(c.sdk), c.catalogue);
    }
}

TEST(ModuleTag, FromFileName) {
    struct {
        const char* file;
        const char* tag;
    } cases[] = {
        {"VD2_DemoPlay.dll", "DemoPlay"},
        {"DemoPlay.dll", "DemoPlay"},
        {"VD2_DemoPlay", "DemoPlay"},
        {"VD2.x_Demo.dll", "Demo.dll"},
        {"VD2_.dll", ""},
        {"", ""},
        {"VD2_Demo_Play.dll", "Demo_Play"},
        {"_x.dll", "x"},
        {"a_b", "b"},
        {"a_", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(ModuleTag(c.file), c.tag);
    }
}

TEST(CatalogueProperties, EndAtTheFirstMissingValue) {
    using List = PropertyList;
    const List head = {{"Interface", "IVideoDecoder_M"}, {"Name", "CVideoDecoderDemoPlay"}};
    auto with = [&](List tail) {
        List all = head;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    struct {
        PropertyMap sdk;
        List expected;
    } cases[] = {
        {{}, head},
        {{{"Check", "0,AB"}, {"FileHeadLen", "4"}}, head},
        {{{"Protocol", "P"}}, with({{"Protocol", "P"}})},
        {{{"Protocol", "P"}, {"FileHeadLen", "4"}}, with({{"Protocol", "P"}})},
        {{{"Protocol", "P"}, {"Check", "0,4,ABC"}}, with({{"Protocol", "P"}, {"Check", "0,ABC"}})},
        {{{"Protocol", "P"}, {"Check", "x"}, {"FileHeadLen", "4"}, {"Other", "o"}},
         with({{"Protocol", "P"}, {"Check", ""}, {"HeadSize", "4"}, {"FrameType", ""}, {"Comment", ""}})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildCatalogueProperties(c.sdk, "VD2_DemoPlay.dll"), c.expected);
    }
}

}  // namespace
}  // namespace vd
