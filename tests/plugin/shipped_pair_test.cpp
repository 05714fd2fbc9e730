// The plug-in as it ships: VD2_DemoPlay.dll beside the reference SDK DemoPlay.dll.
#include <gtest/gtest.h>

#include "common/plugin_fixture.h"

namespace vdtest {
namespace {

TEST(ShippedPair, CatalogueDescribesTheReferenceSdk) {
    Deployment d("VD2_DemoPlay.dll", "DemoPlay.dll", "DemoPlay.dll");
    auto* list = d.plugin.Make<Orvane::IInterfaceList>("IInterfaceList");
    ASSERT_NE(list, nullptr);
    Orvane::IInterface* entry = list->GetAt(0);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->GetName(), "CVideoDecoderDemoPlay");
    EXPECT_EQ(entry->GetPropertyCount(), 7);
    EXPECT_STREQ(entry->GetProperty("Protocol"), "AVI,H264,H265");
    EXPECT_STREQ(entry->GetProperty("Check"), "0,RIFF|8,AVI ");
    EXPECT_STREQ(entry->GetProperty("HeadSize"), "12");
    EXPECT_EQ(d.plugin.ReleaseObject(list), 0);
}

TEST(ShippedPair, DecoderBindsTheReferenceSdk) {
    Deployment d("VD2_DemoPlay.dll", "DemoPlay.dll", "DemoPlay.dll");
    auto* decoder = d.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->Initialize(0), 0);
    EXPECT_EQ(decoder->Release(), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(decoder), 0);
}

}  // namespace
}  // namespace vdtest
