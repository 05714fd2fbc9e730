// Binding the play SDK through the decoder: which library is loaded, what is
// called, and which results come back.
#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

#include "common/plugin_fixture.h"

namespace vdtest {
namespace {

Orvane::IVideoDecoder_M* MakeDecoder(Deployment& d) {
    return d.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
}

TEST(Binding, ResultsOfInitialAndFreeComeBackUnchanged) {
    for (int result : {0, 1, 5, -1, -7, static_cast<int>(E_FAIL), 0x7FFFFFFF, static_cast<int>(0x80000000)}) {
        SCOPED_TRACE(result);
        Deployment d;
        auto* decoder = MakeDecoder(d);
        ASSERT_NE(decoder, nullptr);
        d.sdk.SetResult("KV_Initial", result);
        d.sdk.SetResult("KV_Free", result);
        EXPECT_EQ(decoder->Initialize(0), result);
        EXPECT_EQ(decoder->Release(), result);
        EXPECT_EQ(d.sdk.CallLog(), "KV_Initial()\nKV_Free()\n");
        d.plugin.ReleaseObject(decoder);
    }
}

TEST(Binding, SdkThatCannotBeBoundFailsWithoutCallingIt) {
    struct {
        const char* plugin;
        const char* sdkBuilt;
        const char* sdkName;
    } cases[] = {
        {"VD2_TestSdk.dll", "TestSdkNoClear.dll", "TestSdk.dll"},  // one entry point missing
        {"VD2_TestSdk.dll", "TestSdkNoInfo.dll", "TestSdk.dll"},
        {"VD2_TestSdk.dll", "", "TestSdk.dll"},              // no library beside the plug-in
        {"TestSdkPlugin.dll", "TestSdk.dll", "Plugin.dll"},  // no underscore: empty SDK path
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.plugin) + " / " + c.sdkBuilt);
        Deployment d(c.plugin, c.sdkBuilt, c.sdkName);
        auto* decoder = MakeDecoder(d);
        ASSERT_NE(decoder, nullptr);
        EXPECT_EQ(decoder->Initialize(0), E_FAIL);
        if (d.sdk.loaded()) {
            EXPECT_EQ(d.sdk.CallCount("KV_Initial"), 0);
        }
        // Not bound, so Release fails and calls nothing either.
        EXPECT_EQ(decoder->Release(), E_FAIL);
        if (d.sdk.loaded()) {
            EXPECT_EQ(d.sdk.CallLog(), "");
        }
        d.plugin.ReleaseObject(decoder);
    }
}

TEST(Binding, ReleaseWithoutInitializeFailsAndCallsNothing) {
    Deployment d;
    auto* decoder = MakeDecoder(d);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->Release(), E_FAIL);
    EXPECT_EQ(d.sdk.CallLog(), "");
    d.plugin.ReleaseObject(decoder);
}

TEST(Binding, InitializeWhileBoundDoesNothing) {
    Deployment d;
    auto* decoder = MakeDecoder(d);
    ASSERT_NE(decoder, nullptr);
    d.sdk.SetResult("KV_Initial", 3);
    EXPECT_EQ(decoder->Initialize(0), 3);
    EXPECT_EQ(decoder->Initialize(0), 0);
    EXPECT_EQ(d.sdk.CallCount("KV_Initial"), 1);
    EXPECT_EQ(decoder->Release(), 0);
    d.plugin.ReleaseObject(decoder);
}

TEST(Binding, BindsAgainAfterRelease) {
    Deployment d;
    auto* decoder = MakeDecoder(d);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->Initialize(0), 0);
    EXPECT_EQ(decoder->Release(), 0);
    EXPECT_EQ(decoder->Initialize(0), 0);
    EXPECT_EQ(decoder->Release(), 0);
    EXPECT_EQ(d.sdk.CallLog(), "KV_Initial()\nKV_Free()\nKV_Initial()\nKV_Free()\n");
    d.plugin.ReleaseObject(decoder);
}

TEST(Binding, ReleaseUnloadsTheSdk) {
    Deployment d;
    const std::string sdkPath = d.directory.path() + "\\TestSdk.dll";
    auto* decoder = MakeDecoder(d);
    ASSERT_NE(decoder, nullptr);
    ASSERT_EQ(decoder->Initialize(0), 0);
    EXPECT_EQ(decoder->Release(), 0);
    d.sdk.Unload();
    EXPECT_EQ(GetModuleHandleA(sdkPath.c_str()), nullptr);
    d.plugin.ReleaseObject(decoder);
}

TEST(Binding, RepeatedFailedBindingsHoldTheLibraryOnce) {
    // An entry point is missing: each attempt loads the library, and the
    // plug-in keeps it loaded, but a new attempt gives the previous reference
    // back first.
    Deployment d("VD2_TestSdk.dll", "TestSdkNoClear.dll");
    const std::string sdkPath = d.directory.path() + "\\TestSdk.dll";
    auto* decoder = MakeDecoder(d);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->Initialize(0), E_FAIL);
    EXPECT_EQ(decoder->Initialize(0), E_FAIL);
    EXPECT_EQ(decoder->Initialize(0), E_FAIL);
    d.sdk.Unload();
    HMODULE held = GetModuleHandleA(sdkPath.c_str());
    ASSERT_NE(held, nullptr);
    FreeLibrary(held);  // the plug-in's one reference
    EXPECT_EQ(GetModuleHandleA(sdkPath.c_str()), nullptr);
    d.plugin.ReleaseObject(decoder);
}

TEST(Binding, DecoderObjectReleaseLeavesTheEngineBound) {
    Deployment d;
    auto* first = MakeDecoder(d);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->Initialize(0), 0);
    ASSERT_EQ(d.plugin.ReleaseObject(first), 0);
    auto* second = MakeDecoder(d);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Initialize(0), 0);  // still bound: nothing happens
    EXPECT_EQ(d.sdk.CallCount("KV_Initial"), 1);
    EXPECT_EQ(second->Release(), 0);
    EXPECT_EQ(d.sdk.CallCount("KV_Free"), 1);
    d.plugin.ReleaseObject(second);
}

TEST(Binding, SdkIsFoundByTheFileNameRule) {
    struct {
        const char* subPath;
        const char* plugin;
        const char* sdk;
    } cases[] = {
        {"", "VD2_TestSdk.dll", "TestSdk.dll"},       {"", "VD2_Test_Sdk.dll", "Test_Sdk.dll"},
        {"my_dir", "VD2_TestSdk.dll", "TestSdk.dll"}, {"", "_TestSdk.dll", "TestSdk.dll"},
        {"a_b\\c_d", "X_Y_Z.dll", "Y_Z.dll"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.subPath) + "\\" + c.plugin);
        Deployment d(c.plugin, "TestSdk.dll", c.sdk, c.subPath);
        auto* decoder = MakeDecoder(d);
        ASSERT_NE(decoder, nullptr);
        d.sdk.SetResult("KV_Initial", 42);
        EXPECT_EQ(decoder->Initialize(0), 42);
        EXPECT_EQ(decoder->Release(), 0);
        d.plugin.ReleaseObject(decoder);
    }
}

// Run with an ANSI code page of double-byte characters (936): a trail byte
// that looks like '_' is part of its character and never a separator.
TEST(Binding, DoubleByteCodePageTrailBytesAreNotUnderscores) {
    if (GetACP() != 936) GTEST_SKIP() << "needs ANSI code page 936, have " << GetACP();
    // "\x81\x5F" is one character; the plug-in's first real underscore is the
    // one after "D", so the SDK is TestSdk.dll.
    Deployment d(
        "V\x81\x5F"
        "D_TestSdk.dll",
        "TestSdk.dll", "TestSdk.dll",
        "d\x81\x5F"
        "x_y");
    ASSERT_TRUE(d.plugin.loaded());
    auto* decoder = MakeDecoder(d);
    ASSERT_NE(decoder, nullptr);
    d.sdk.SetResult("KV_Initial", 9);
    EXPECT_EQ(decoder->Initialize(0), 9);
    EXPECT_EQ(decoder->Release(), 0);
    d.plugin.ReleaseObject(decoder);

    d.sdk.SetDecoderInf(std::string("Protocol=P") + '\0');
    auto* list = d.plugin.Make<Orvane::IInterfaceList>("IInterfaceList");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->GetAt(0)->GetName(), "CVideoDecoderD_TestSdk");
    EXPECT_STREQ(list->GetAt(0)->GetProperty("Protocol"), "P");
    d.plugin.ReleaseObject(list);
}

}  // namespace
}  // namespace vdtest

namespace vdtest {
namespace {

// A plug-in path of 260 characters fills the platform's buffer and comes back
// cut: neither file-name rule may use it, so no SDK is found and the catalogue
// names no tag. One character less is an ordinary path.
TEST(Binding, PathThatReachesTheLimitNamesNoSdk) {
    struct {
        std::size_t pathLength;
        bool usable;
    } cases[] = {{259, true}, {260, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pathLength);
        ScratchDirectory scratch;
        const std::string pluginName = "VD2_TestSdk.dll";
        const std::size_t fixed = scratch.path().size() + 2 + pluginName.size();
        ASSERT_LT(fixed, c.pathLength);
        const std::string directory = scratch.path() + "\\" + std::string(c.pathLength - fixed, 'a');
        ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
        const std::string pluginPath = directory + "\\" + pluginName;
        ASSERT_EQ(pluginPath.size(), c.pathLength);
        ASSERT_TRUE(
            CopyFileA((BinaryDirectory() + "\\TestSdk.dll").c_str(), (directory + "\\TestSdk.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((BinaryDirectory() + "\\VD2_DemoPlay.dll").c_str(), pluginPath.c_str(), FALSE));
        {
            TestSdk sdk(directory + "\\TestSdk.dll");
            Plugin plugin(pluginPath);
            ASSERT_TRUE(sdk.loaded());
            ASSERT_TRUE(plugin.loaded());
            sdk.SetResult("KV_Initial", 42);
            sdk.SetDecoderInf(std::string("Protocol=P") + '\0');

            auto* list = plugin.Make<Orvane::IInterfaceList>("IInterfaceList");
            ASSERT_NE(list, nullptr);
            EXPECT_STREQ(list->GetAt(0)->GetName(), c.usable ? "CVideoDecoderTestSdk" : "CVideoDecoder");
            EXPECT_EQ(list->GetAt(0)->GetPropertyCount(), c.usable ? 3 : 2);
            EXPECT_EQ(plugin.ReleaseObject(list), 0);

            auto* decoder = plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
            ASSERT_NE(decoder, nullptr);
            EXPECT_EQ(decoder->Initialize(0), c.usable ? 42 : static_cast<int>(E_FAIL));
            EXPECT_EQ(decoder->Release(), c.usable ? 0 : static_cast<int>(E_FAIL));
            EXPECT_EQ(sdk.CallCount("KV_Initial"), c.usable ? 1 : 0);
            EXPECT_EQ(plugin.ReleaseObject(decoder), 0);
        }
    }
}

}  // namespace
}  // namespace vdtest

namespace vdtest {
namespace {

// Binding and unbinding leave the calling thread's COM state as the client
// had it, also when the client's thread is in the multithreaded apartment (in
// which the plug-in's own COM initialisation is refused).
TEST(Binding, ClientsComStateSurvivesInitializeAndRelease) {
    struct Case {
        const char* what;
        bool clientInitialises;
        DWORD model;
    } cases[] = {
        {"no COM", false, COINIT_APARTMENTTHREADED},
        {"single-threaded apartment", true, COINIT_APARTMENTTHREADED},
        {"multithreaded apartment", true, COINIT_MULTITHREADED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Deployment d;
        auto* decoder = d.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
        ASSERT_NE(decoder, nullptr);
        HRESULT probe = E_UNEXPECTED;
        int initialized = -1;
        int released = -1;
        // A thread of its own, so that the test's thread keeps no COM state.
        std::thread client([&] {
            if (c.clientInitialises && FAILED(CoInitializeEx(nullptr, c.model))) return;
            initialized = decoder->Initialize(0);
            released = decoder->Release();
            // S_FALSE: the thread is still initialised; S_OK: it was not.
            probe = CoInitializeEx(nullptr, c.model);
            if (SUCCEEDED(probe)) CoUninitialize();
            if (c.clientInitialises) CoUninitialize();
        });
        client.join();
        EXPECT_EQ(initialized, 0);
        EXPECT_EQ(released, 0);
        EXPECT_EQ(probe, c.clientInitialises ? S_FALSE : S_OK);
        EXPECT_EQ(d.plugin.ReleaseObject(decoder), 0);
    }
}

}  // namespace
}  // namespace vdtest
