#include "common/plugin_fixture.h"

#include <gtest/gtest.h>

#include <atomic>

namespace vdtest {

namespace {

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                // A library the plug-in keeps after a failed binding is still
                // mapped and could not be deleted. Bounded, so that a library
                // that cannot be unloaded leaves a file behind instead of
                // hanging the test.
                for (int attempt = 0; attempt < 64; ++attempt) {
                    HMODULE stillLoaded = GetModuleHandleA(child.c_str());
                    if (!stillLoaded || !FreeLibrary(stillLoaded)) break;
                }
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

// A test whose scratch directory could not be made would go on to test
// something else than it says; the failure is reported where it happens.
void MakeDirectory(const std::string& path) {
    if (!CreateDirectoryA(path.c_str(), nullptr)) {
        ADD_FAILURE() << "cannot make the directory " << path << " (error " << GetLastError() << ")";
    }
}

}  // namespace

std::string BinaryDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of('\\'));
}

ScratchDirectory::ScratchDirectory(const std::string& subPath) {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    // Wine reuses process ids: a directory left behind by a run that was cut
    // off is passed over, not reported as a failure of this one.
    for (;;) {
        root_ = std::string(temp) + "vdtest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
        if (CreateDirectoryA(root_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS || counter > 100000) {
            MakeDirectory(root_);
            break;
        }
    }
    path_ = root_;
    std::string rest = subPath;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('\\');
        path_ += "\\" + rest.substr(0, slash);
        MakeDirectory(path_);
        rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
    }
}

ScratchDirectory::~ScratchDirectory() { RemoveTree(root_); }

void ScratchDirectory::Install(const std::string& builtFile, const std::string& name) const {
    const std::string from = BinaryDirectory() + "\\" + builtFile;
    const std::string to = path_ + "\\" + name;
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy " << from << " to " << to << " (error " << GetLastError() << ")";
    }
}

TestSdk::TestSdk(const std::string& dllPath) {
    module_ = LoadLibraryA(dllPath.c_str());
    if (!module_) return;
    setResult_ = Proc<TestSdkSetResultFn>(module_, "TestSdk_SetResult");
    setDecoderInf_ = Proc<TestSdkSetDecoderInfFn>(module_, "TestSdk_SetDecoderInf");
    callCount_ = Proc<TestSdkCallCountFn>(module_, "TestSdk_CallCount");
    callLog_ = Proc<TestSdkCallLogFn>(module_, "TestSdk_CallLog");
    setOpenPort_ = Proc<TestSdkSetOpenPortFn>(module_, "TestSdk_SetOpenPort");
    setFileTime_ = Proc<TestSdkSetFileTimeFn>(module_, "TestSdk_SetFileTime");
    setMediaInfo_ = Proc<TestSdkSetMediaInfoFn>(module_, "TestSdk_SetMediaInfo");
    deliver_ = Proc<TestSdkDeliverFn>(module_, "TestSdk_Deliver");
    delivering_ = Proc<TestSdkDeliveringFn>(module_, "TestSdk_Delivering");
}

TestSdk::~TestSdk() { Unload(); }

void TestSdk::Unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
}

std::string TestSdk::CallLog() {
    const int length = callLog_(nullptr, 0);
    std::string log(static_cast<std::size_t>(length) + 1, '\0');
    callLog_(&log[0], length + 1);
    log.resize(static_cast<std::size_t>(length));
    return log;
}

Plugin::Plugin(const std::string& dllPath) {
    module_ = LoadLibraryA(dllPath.c_str());
    if (!module_) return;
    create_ = Proc<CreateTalvexObjectFn>(module_, "CreateTalvexObject");
    release_ = Proc<ReleaseTalvexObjectFn>(module_, "ReleaseTalvexObject");
}

Plugin::~Plugin() {
    if (module_) FreeLibrary(module_);
}

namespace {
std::string Prepared(const ScratchDirectory& directory, const std::string& builtFile, const std::string& name) {
    if (!builtFile.empty()) directory.Install(builtFile, name);
    return directory.path() + "\\" + name;
}
}  // namespace

Deployment::Deployment(const std::string& pluginName, const std::string& sdkBuiltFile, const std::string& sdkName,
                       const std::string& subPath)
    : directory(subPath),
      sdk(Prepared(directory, sdkBuiltFile, sdkName)),
      plugin(Prepared(directory, "VD2_DemoPlay.dll", pluginName)) {}

}  // namespace vdtest
