// Loads the plug-in as a client does: a copy of VD2_DemoPlay.dll under the
// name a deployment gives it, in a directory of the test's own, next to a copy
// of the scriptable SDK that the test controls.
#ifndef TESTS_PLUGIN_FIXTURE_H
#define TESTS_PLUGIN_FIXTURE_H

#include <windows.h>

#include <string>
#include <vector>

#include <Orvane/VideoDecoderPlugin.h>

#include "TestSdkControl.h"

namespace vdtest {

// Directory that holds the test program and every built DLL.
std::string BinaryDirectory();

// A fresh directory (under the system's temporary directory, optionally with
// a sub-path) removed again with everything in it.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& subPath = "");
    ~ScratchDirectory();
    const std::string& path() const { return path_; }
    // Copies a built file from the binary directory into this one under name.
    void Install(const std::string& builtFile, const std::string& name) const;

private:
    std::string root_;
    std::string path_;
};

// The scriptable SDK as the test sees it. Loading the same file the plug-in
// will load shares one state between the test and the plug-in.
class TestSdk {
public:
    explicit TestSdk(const std::string& dllPath);
    ~TestSdk();
    bool loaded() const { return module_ != nullptr; }

    void SetResult(const char* entryPoint, int result) { setResult_(entryPoint, result); }
    void SetDecoderInf(const std::string& bytes) { setDecoderInf_(bytes.data(), static_cast<int>(bytes.size())); }
    int CallCount(const char* entryPoint) { return callCount_(entryPoint); }
    void SetOpenPort(int port) { setOpenPort_(port); }
    void SetFileTime(int seconds) { setFileTime_(seconds); }
    void SetMediaInfo(const void* info12) { setMediaInfo_(info12); }
    // Calls the plug-in's frame callback for the port (from the calling thread).
    int Deliver(int port, const void* data, int size, int width, int height, unsigned int stamp, int kind,
                int frameRate) {
        return deliver_(port, data, size, width, height, stamp, kind, frameRate);
    }
    int Delivering(int port) { return delivering_(port); }
    std::string CallLog();
    // Gives back the test's own reference (to see whether the plug-in still holds one).
    void Unload();

private:
    HMODULE module_ = nullptr;
    TestSdkSetResultFn setResult_ = nullptr;
    TestSdkSetDecoderInfFn setDecoderInf_ = nullptr;
    TestSdkCallCountFn callCount_ = nullptr;
    TestSdkCallLogFn callLog_ = nullptr;
    TestSdkSetOpenPortFn setOpenPort_ = nullptr;
    TestSdkSetFileTimeFn setFileTime_ = nullptr;
    TestSdkSetMediaInfoFn setMediaInfo_ = nullptr;
    TestSdkDeliverFn deliver_ = nullptr;
    TestSdkDeliveringFn delivering_ = nullptr;
};

// The plug-in loaded from a path, with its two exported functions.
class Plugin {
public:
    explicit Plugin(const std::string& dllPath);
    ~Plugin();
    bool loaded() const { return create_ != nullptr && release_ != nullptr; }

    int Create(const char* name, void** out) { return create_(name, 0, out); }
    int ReleaseObject(void* object) { return release_(object); }

    // Makes an object that the test expects to get.
    template <typename Interface>
    Interface* Make(const char* name) {
        void* object = nullptr;
        return Create(name, &object) == 0 ? static_cast<Interface*>(object) : nullptr;
    }

private:
    HMODULE module_ = nullptr;
    CreateTalvexObjectFn create_ = nullptr;
    ReleaseTalvexObjectFn release_ = nullptr;
};

// The usual deployment: VD2_TestSdk.dll next to TestSdk.dll.
struct Deployment {
    explicit Deployment(const std::string& pluginName = "VD2_TestSdk.dll",
                        const std::string& sdkBuiltFile = "TestSdk.dll", const std::string& sdkName = "TestSdk.dll",
                        const std::string& subPath = "");
    ScratchDirectory directory;
    TestSdk sdk;  // loaded before the plug-in, so the test can script it first
    Plugin plugin;
};

}  // namespace vdtest

#endif
