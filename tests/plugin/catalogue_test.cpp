// The catalogue a client reads, built from what the scriptable SDK reports.
#include <gtest/gtest.h>

#include <cstring>

#include "common/plugin_fixture.h"

namespace vdtest {
namespace {

using Properties = std::vector<std::pair<std::string, std::string>>;

Properties ReadEntry(Orvane::IInterface* entry) {
    Properties properties;
    for (int i = 0; i < entry->GetPropertyCount(); ++i) {
        properties.emplace_back(entry->GetPropertyName(i), entry->GetPropertyValue(i));
    }
    return properties;
}

// Builds a list in the given deployment and returns its one entry's properties.
Properties CatalogueOf(Deployment& d) {
    auto* list = d.plugin.Make<Orvane::IInterfaceList>("IInterfaceList");
    if (!list) return {{"no list", ""}};
    Properties properties;
    if (list->GetCount() == 1 && list->GetAt(0)) properties = ReadEntry(list->GetAt(0));
    d.plugin.ReleaseObject(list);
    return properties;
}

const Properties kWithoutSdk = {{"Interface", "IVideoDecoder_M"}, {"Name", "CVideoDecoderTestSdk"}};

TEST(Catalogue, EntryFollowsTheSdkText) {
    struct Case {
        const char* sdkText;
        Properties expected;
    } cases[] = {
        {"Protocol=RTP;Check=0,4,ABCD|0,4,0x01;FileHeadLen=40;Version=2",
         {{"Interface", "IVideoDecoder_M"},
          {"Name", "CVideoDecoderTestSdk"},
          {"Protocol", "RTP"},
          {"Check", "0,ABCD"},
          {"HeadSize", "40"},
          {"FrameType", ""},
          {"Comment", ""}}},
        {"Check=0,4,ABCD;FileHeadLen=40", kWithoutSdk},
        {"Protocol=a=b", {{"Interface", "IVideoDecoder_M"}, {"Name", "CVideoDecoderTestSdk"}, {"Protocol", "a=b"}}},
        {"Protocol=RTP;Protocol=TCP",
         {{"Interface", "IVideoDecoder_M"}, {"Name", "CVideoDecoderTestSdk"}, {"Protocol", "TCP"}}},
        {"Protocol;Check=0,AB;FileHeadLen=8", kWithoutSdk},
        {"Protocol=", {{"Interface", "IVideoDecoder_M"}, {"Name", "CVideoDecoderTestSdk"}, {"Protocol", ""}}},
        {"Protocol=RTP;Check=0,4,0x1",
         {{"Interface", "IVideoDecoder_M"}, {"Name", "CVideoDecoderTestSdk"}, {"Protocol", "RTP"}, {"Check", ""}}},
        {"Protocol=X;Check=1,2;FileHeadLen=",
         {{"Interface", "IVideoDecoder_M"},
          {"Name", "CVideoDecoderTestSdk"},
          {"Protocol", "X"},
          {"Check", "1,2"},
          {"HeadSize", ""},
          {"FrameType", ""},
          {"Comment", ""}}},
        {"", kWithoutSdk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sdkText);
        Deployment d;
        ASSERT_TRUE(d.sdk.loaded());
        d.sdk.SetDecoderInf(std::string(c.sdkText) + '\0');
        EXPECT_EQ(CatalogueOf(d), c.expected);
        EXPECT_EQ(d.sdk.CallLog(), "KV_GetDecoderInf(1024)\n");
    }
}

TEST(Catalogue, SdkThatCannotAnswerGivesTheBareEntry) {
    {
        SCOPED_TRACE("non-zero result");
        Deployment d;
        d.sdk.SetDecoderInf(std::string("Protocol=RTP;Check=0,AB;FileHeadLen=8") + '\0');
        d.sdk.SetResult("KV_GetDecoderInf", 1);
        EXPECT_EQ(CatalogueOf(d), kWithoutSdk);
    }
    {
        SCOPED_TRACE("no SDK library");
        Deployment d("VD2_TestSdk.dll", "");
        EXPECT_EQ(CatalogueOf(d), kWithoutSdk);
    }
    {
        SCOPED_TRACE("SDK without KV_GetDecoderInf");
        Deployment d("VD2_TestSdk.dll", "TestSdkNoInfo.dll");
        EXPECT_EQ(CatalogueOf(d), kWithoutSdk);
    }
}

TEST(Catalogue, TextFillingTheBufferIsCutAtItsEnd) {
    Deployment d;
    std::string text = "Protocol=";
    text += std::string(1024 - text.size(), 'P');  // 1024 bytes, no NUL
    d.sdk.SetDecoderInf(text);
    const Properties entry = CatalogueOf(d);
    ASSERT_EQ(entry.size(), 3u);
    EXPECT_EQ(entry[2].second, std::string(1024 - 9, 'P'));
}

TEST(Catalogue, SdkIsLoadedOnlyWhileTheListIsBuilt) {
    Deployment d;
    d.sdk.SetDecoderInf(std::string("Protocol=ONE") + '\0');
    EXPECT_EQ(CatalogueOf(d)[2].second, "ONE");
    // Each list asks afresh, so a changed answer shows in the next list.
    d.sdk.SetDecoderInf(std::string("Protocol=TWO") + '\0');
    EXPECT_EQ(CatalogueOf(d)[2].second, "TWO");
    // Only the test's own reference is left once the lists are built.
    const std::string sdkPath = d.directory.path() + "\\TestSdk.dll";
    d.sdk.Unload();
    EXPECT_EQ(GetModuleHandleA(sdkPath.c_str()), nullptr);
}

TEST(Catalogue, NameCarriesTheModuleTag) {
    struct {
        const char* plugin;
        const char* sdk;
        const char* name;
    } cases[] = {
        {"VD2_TestSdk.dll", "TestSdk.dll", "CVideoDecoderTestSdk"},
        {"VD2_Test_Sdk.dll", "Test_Sdk.dll", "CVideoDecoderTest_Sdk"},
        {"TestSdk.dll", "", "CVideoDecoderTestSdk"},  // no underscore: no SDK either
        {"VD2_.dll", ".dll", "CVideoDecoder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plugin);
        Deployment d(c.plugin, *c.sdk ? "TestSdk.dll" : "", *c.sdk ? c.sdk : "unused.dll");
        ASSERT_TRUE(d.plugin.loaded());
        if (*c.sdk) d.sdk.SetDecoderInf(std::string("Protocol=P") + '\0');
        const Properties entry = CatalogueOf(d);
        ASSERT_GE(entry.size(), 2u);
        EXPECT_EQ(entry[1], (std::pair<std::string, std::string>("Name", c.name)));
        // The SDK beside the plug-in was found exactly when the name names one.
        EXPECT_EQ(entry.size(), *c.sdk ? 3u : 2u);
    }
}

TEST(Catalogue, LookupsOutOfRangeGiveEmptyTextsAndNullEntries) {
    Deployment d;
    d.sdk.SetDecoderInf(std::string("Protocol=RTP;Check=0,AB;FileHeadLen=8") + '\0');
    auto* list = d.plugin.Make<Orvane::IInterfaceList>("IInterfaceList");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetCount(), 1);
    EXPECT_EQ(list->GetAt(-1), nullptr);
    EXPECT_EQ(list->GetAt(1), nullptr);
    Orvane::IInterface* entry = list->GetAt(0);
    ASSERT_NE(entry, nullptr);

    EXPECT_STREQ(entry->GetName(), "CVideoDecoderTestSdk");
    EXPECT_STREQ(entry->GetInterface(), "IVideoDecoder_M");
    EXPECT_STREQ(entry->GetComment(), "");
    EXPECT_EQ(entry->GetPropertyCount(), 7);
    EXPECT_STREQ(entry->GetProperty("HeadSize"), "8");
    for (const char* absent : {"headsize", "HeadSize ", "Head", "", "Version"}) {
        SCOPED_TRACE(absent);
        const char* value = entry->GetProperty(absent);
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value, "");
    }
    const char* nullName = entry->GetProperty(nullptr);
    ASSERT_NE(nullName, nullptr);
    EXPECT_STREQ(nullName, "");
    for (int index : {-1, 7, 100}) {
        SCOPED_TRACE(index);
        ASSERT_NE(entry->GetPropertyName(index), nullptr);
        EXPECT_STREQ(entry->GetPropertyName(index), "");
        ASSERT_NE(entry->GetPropertyValue(index), nullptr);
        EXPECT_STREQ(entry->GetPropertyValue(index), "");
    }
    EXPECT_EQ(d.plugin.ReleaseObject(list), 0);
}

TEST(Catalogue, CommentOfTheBareEntryIsEmptyNotNull) {
    Deployment d("VD2_TestSdk.dll", "");
    auto* list = d.plugin.Make<Orvane::IInterfaceList>("IInterfaceList");
    ASSERT_NE(list, nullptr);
    Orvane::IInterface* entry = list->GetAt(0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->GetPropertyCount(), 2);
    ASSERT_NE(entry->GetComment(), nullptr);
    EXPECT_STREQ(entry->GetComment(), "");
    EXPECT_EQ(d.plugin.ReleaseObject(list), 0);
}

}  // namespace
}  // namespace vdtest
