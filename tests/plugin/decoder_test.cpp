// The decoder's operation table: the settled operations and the port -1 rule.
#include <gtest/gtest.h>

#include <functional>

#include "common/plugin_fixture.h"

namespace vdtest {
namespace {

constexpr int kNoPort = -1;
constexpr int kUntouched = 0x5A5A5A5A;

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(d.plugin.loaded());
        decoder = d.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
        ASSERT_NE(decoder, nullptr);
    }
    void TearDown() override {
        if (decoder) {
            EXPECT_EQ(d.plugin.ReleaseObject(decoder), 0);
        }
    }
    Deployment d;
    Orvane::IVideoDecoder_M* decoder = nullptr;
};

TEST_F(DecoderTest, VersionIs8_4) {
    int version = 0;
    EXPECT_EQ(decoder->GetVersion(&version), 0);
    EXPECT_EQ(version, 524292);
}

TEST_F(DecoderTest, QuerySupportDeniesOnlyTheTwoUnimplementedOperations) {
    struct {
        const char* name;
        int supported;
    } cases[] = {
        {"KV_OneByOneBack", 0}, {"KV_SetDrawCallBack", 0}, {"KV_Play", 1},           {"", 1},
        {"kv_onebyoneback", 1}, {"KV_OneByOneBack ", 1},   {"KV_SetDrawCallBac", 1}, {"Anything", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int supported = kUntouched;
        EXPECT_EQ(decoder->QuerySupport(c.name, &supported), 0);
        EXPECT_EQ(supported, c.supported);
    }
}

TEST_F(DecoderTest, UnimplementedOperationsAnswerNotImplemented) {
    EXPECT_EQ(decoder->OneByOneBack(kNoPort), E_NOTIMPL);
    EXPECT_EQ(decoder->OneByOneBack(3), E_NOTIMPL);
    EXPECT_EQ(decoder->SetDrawCallBack(kNoPort, nullptr, 0), 0);
    EXPECT_EQ(decoder->SetDrawCallBack(3, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(decoder->Reserved(0, 0, 0), E_NOTIMPL);
    EXPECT_EQ(decoder->Reserved(-1, 1, 2), E_NOTIMPL);
}

// Port -1 is a successful no-op that writes nothing, for every operation
// that takes a port (GetPlayPos writes 0).
TEST_F(DecoderTest, PortMinusOneDoesNothing) {
    int out1 = kUntouched;
    int out2 = kUntouched;
    struct Case {
        const char* operation;
        std::function<int()> call;
        int expectedOut1;
    } cases[] = {
        {"CloseFile", [&] { return decoder->CloseFile(kNoPort); }, kUntouched},
        {"GetFileTime", [&] { return decoder->GetFileTime(kNoPort, &out1); }, kUntouched},
        {"CloseStream", [&] { return decoder->CloseStream(kNoPort); }, kUntouched},
        {"InputData", [&] { return decoder->InputData(kNoPort, "x", 1); }, kUntouched},
        {"OpenSound", [&] { return decoder->OpenSound(kNoPort); }, kUntouched},
        {"CloseSound", [&] { return decoder->CloseSound(kNoPort); }, kUntouched},
        {"SetVolume", [&] { return decoder->SetVolume(kNoPort, 0xFFFF); }, kUntouched},
        {"Play", [&] { return decoder->Play(kNoPort, nullptr); }, kUntouched},
        {"Stop", [&] { return decoder->Stop(kNoPort); }, kUntouched},
        {"Pause", [&] { return decoder->Pause(kNoPort, 1); }, kUntouched},
        {"SetPlayTime", [&] { return decoder->SetPlayTime(kNoPort, 5); }, kUntouched},
        {"GetPlayTime", [&] { return decoder->GetPlayTime(kNoPort, &out1); }, kUntouched},
        {"SetPlayPos", [&] { return decoder->SetPlayPos(kNoPort, 50); }, kUntouched},
        {"GetPlayPos", [&] { return decoder->GetPlayPos(kNoPort, &out1); }, 0},
        {"SetPlaySpeed", [&] { return decoder->SetPlaySpeed(kNoPort, 2); }, kUntouched},
        {"GetPlaySpeed", [&] { return decoder->GetPlaySpeed(kNoPort, &out1); }, kUntouched},
        {"OneByOne", [&] { return decoder->OneByOne(kNoPort); }, kUntouched},
        {"StartRecord", [&] { return decoder->StartRecord(kNoPort, "C:\\rec.avi"); }, kUntouched},
        {"StopRecord", [&] { return decoder->StopRecord(kNoPort); }, kUntouched},
        {"Snapshot", [&] { return decoder->Snapshot(kNoPort, "C:\\shot.bmp"); }, kUntouched},
        {"Refresh", [&] { return decoder->Refresh(kNoPort); }, kUntouched},
        {"GetPictureSize", [&] { return decoder->GetPictureSize(kNoPort, &out1, &out2); }, kUntouched},
        {"SetNotify", [&] { return decoder->SetNotify(kNoPort, 1, 2, 3); }, kUntouched},
        {"SetDecodeCallBack", [&] { return decoder->SetDecodeCallBack(kNoPort, nullptr, 7); }, kUntouched},
    };
    ASSERT_EQ(decoder->Initialize(0), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        out1 = kUntouched;
        out2 = kUntouched;
        EXPECT_EQ(c.call(), 0);
        EXPECT_EQ(out1, c.expectedOut1);
        EXPECT_EQ(out2, kUntouched);
    }
    // None of them reached the SDK.
    EXPECT_EQ(d.sdk.CallLog(), "KV_Initial()\n");
    EXPECT_EQ(decoder->Release(), 0);
}

}  // namespace
}  // namespace vdtest
