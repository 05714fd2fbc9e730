// The exported factory through a loaded copy of the plug-in.
#include <gtest/gtest.h>

#include "common/plugin_fixture.h"

namespace vdtest {
namespace {

void* const kUntouched = reinterpret_cast<void*>(0x5A5A5A5A);

TEST(Factory, OnlyTheThreeExactNamesMakeObjects) {
    Deployment d;
    ASSERT_TRUE(d.plugin.loaded());
    struct {
        const char* name;
        int result;
    } cases[] = {
        {"IVideoDecoder_M", 0},
        {"IInterfaceList", 0},
        {"ILogManager", 0},
        {"ivideodecoder_m", -1},
        {"IVIDEODECODER_M", -1},
        {"IInterfaceListX", -1},
        {"ILogManager ", -1},
        {"IVideoDecoder", -1},
        {"IInterface", -1},
        {"ILog", -1},
        {"", -1},
        {"IVideoDecoder_M2", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        void* object = kUntouched;
        EXPECT_EQ(d.plugin.Create(c.name, &object), c.result);
        if (c.result == 0) {
            EXPECT_NE(object, kUntouched);
            EXPECT_NE(object, nullptr);
            EXPECT_EQ(d.plugin.ReleaseObject(object), 0);
        } else {
            EXPECT_EQ(object, kUntouched);
        }
    }
}

TEST(Factory, NullNameOrNullOutMakesNothing) {
    Deployment d;
    void* object = kUntouched;
    EXPECT_EQ(d.plugin.Create(nullptr, &object), -1);
    EXPECT_EQ(object, kUntouched);
    EXPECT_EQ(d.plugin.Create("IVideoDecoder_M", nullptr), -1);
    // Nothing was recorded: a decoder can still be made.
    EXPECT_EQ(d.plugin.Create("IVideoDecoder_M", &object), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(object), 0);
}

TEST(Factory, AtMostOneDecoderIsLive) {
    Deployment d;
    void* first = nullptr;
    ASSERT_EQ(d.plugin.Create("IVideoDecoder_M", &first), 0);
    void* second = kUntouched;
    EXPECT_EQ(d.plugin.Create("IVideoDecoder_M", &second), -1);
    EXPECT_EQ(second, kUntouched);
    // Other kinds are not limited while the decoder is live.
    void* list = nullptr;
    EXPECT_EQ(d.plugin.Create("IInterfaceList", &list), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(first), 0);
    EXPECT_EQ(d.plugin.Create("IVideoDecoder_M", &second), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(second), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(list), 0);
}

TEST(Factory, ListsAndLogManagersMayBeManyAndDistinct) {
    Deployment d;
    for (const char* name : {"IInterfaceList", "ILogManager"}) {
        SCOPED_TRACE(name);
        void* a = nullptr;
        void* b = nullptr;
        ASSERT_EQ(d.plugin.Create(name, &a), 0);
        ASSERT_EQ(d.plugin.Create(name, &b), 0);
        EXPECT_NE(a, b);
        EXPECT_EQ(d.plugin.ReleaseObject(a), 0);
        EXPECT_EQ(d.plugin.ReleaseObject(b), 0);
    }
}

TEST(Factory, ReleaseFindsOnlyLiveObjects) {
    Deployment d;
    void* object = nullptr;
    ASSERT_EQ(d.plugin.Create("ILogManager", &object), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(object), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(object), -1);
    EXPECT_EQ(d.plugin.ReleaseObject(nullptr), -1);
    int notAnObject = 0;
    EXPECT_EQ(d.plugin.ReleaseObject(&notAnObject), -1);
}

TEST(Factory, ReleasingFromTheMiddleKeepsTheOthers) {
    Deployment d;
    void* a = nullptr;
    void* b = nullptr;
    void* c = nullptr;
    ASSERT_EQ(d.plugin.Create("IVideoDecoder_M", &a), 0);
    ASSERT_EQ(d.plugin.Create("IInterfaceList", &b), 0);
    ASSERT_EQ(d.plugin.Create("ILogManager", &c), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(b), 0);
    // A is still the live decoder.
    void* other = kUntouched;
    EXPECT_EQ(d.plugin.Create("IVideoDecoder_M", &other), -1);
    EXPECT_EQ(d.plugin.ReleaseObject(a), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(c), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(b), -1);
    EXPECT_EQ(d.plugin.ReleaseObject(a), -1);
}

TEST(Factory, ObjectsWorkThroughTheirInterfaces) {
    Deployment d;
    auto* decoder = d.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
    ASSERT_NE(decoder, nullptr);
    int version = 0;
    EXPECT_EQ(decoder->GetVersion(&version), 0);
    EXPECT_EQ(version, 0x00080004);

    auto* logs = d.plugin.Make<Orvane::ILogManager>("ILogManager");
    ASSERT_NE(logs, nullptr);
    EXPECT_EQ(logs->SetLog(nullptr), 0);

    auto* list = d.plugin.Make<Orvane::IInterfaceList>("IInterfaceList");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetCount(), 1);

    EXPECT_EQ(d.plugin.ReleaseObject(decoder), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(logs), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(list), 0);
}

// A client sink that counts what reaches it.
class CountingLog : public Orvane::ILog {
public:
    void Write(const char*, ...) override { ++writes; }
    int writes = 0;
};

TEST(LogManager, SinksAreAcceptedAndOutliveTheirManager) {
    Deployment d;
    CountingLog sink;
    auto* first = d.plugin.Make<Orvane::ILogManager>("ILogManager");
    auto* second = d.plugin.Make<Orvane::ILogManager>("ILogManager");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->SetLog(&sink), 0);
    EXPECT_EQ(second->SetLog(nullptr), 0);
    EXPECT_EQ(second->SetLog(&sink), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(first), 0);
    EXPECT_EQ(d.plugin.ReleaseObject(second), 0);

    // The plug-in traces to the debugger only; the client's sink is kept but
    // never written to, whatever the plug-in does.
    auto* decoder = d.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
    ASSERT_NE(decoder, nullptr);
    decoder->Initialize(0);
    decoder->Release();
    EXPECT_EQ(d.plugin.ReleaseObject(decoder), 0);
    EXPECT_EQ(sink.writes, 0);
}

}  // namespace
}  // namespace vdtest
