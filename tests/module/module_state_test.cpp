// The module's process-wide state inside one process: the two cached
// file-name rules and the client's log sink.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "module/log_manager.h"
#include "module/module_paths.h"

namespace vd {
namespace {

std::string PathOf(HINSTANCE module) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

std::string FileNameOf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

// The rules run on whatever module the instance names. This program's own
// file name (module_state_test.exe) has an underscore, kernel32.dll has none.
TEST(ModulePaths, OnlySuccessIsCached) {
    const std::string exe = PathOf(nullptr);
    ASSERT_EQ(FileNameOf(exe), "module_state_test.exe");
    const std::string sdkOfExe = exe.substr(0, exe.rfind('\\') + 1) + "state_test.exe";
    const HINSTANCE kernel = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    const std::string kernelName = FileNameOf(PathOf(kernel));
    ASSERT_EQ(kernelName.find('_'), std::string::npos);

    struct Step {
        const char* what;
        HINSTANCE instance;
        std::string moduleName;
        std::string sdkPath;
    } steps[] = {
        // No module with this handle: both fail, nothing is cached.
        {"unknown handle", reinterpret_cast<HINSTANCE>(0x10), "", ""},
        // The name is found and cached; the SDK rule fails (no underscore).
        {"kernel32", kernel, kernelName, ""},
        // The SDK rule succeeds now; the name stays the cached one.
        {"this program", nullptr, kernelName, sdkOfExe},
        // Both are cached: the platform is not asked again.
        {"back to kernel32", kernel, kernelName, sdkOfExe},
        {"unknown handle again", reinterpret_cast<HINSTANCE>(0x10), kernelName, sdkOfExe},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        SetModuleInstance(s.instance);
        EXPECT_EQ(ModuleFileName(), s.moduleName);
        EXPECT_EQ(PlaySdkFileName(), s.sdkPath);
    }
}

class CountingLog : public Orvane::ILog {
public:
    void Write(const char*, ...) override { ++writes; }
    int writes = 0;
};

TEST(LogManager, SinkPointerIsSharedAndOutlivesItsManager) {
    Orvane::ILog* builtIn = CLogManager::Log();
    ASSERT_NE(builtIn, nullptr);
    builtIn->Write("%d %s", 1, "discarded");  // the built-in sink accepts anything

    CountingLog sink;
    auto* first = new CLogManager;
    auto* second = new CLogManager;
    EXPECT_EQ(first->SetLog(&sink), 0);
    EXPECT_EQ(CLogManager::Log(), &sink);
    delete first;
    EXPECT_EQ(CLogManager::Log(), &sink);  // giving the manager back keeps the sink
    EXPECT_EQ(second->SetLog(nullptr), 0);
    EXPECT_EQ(CLogManager::Log(), nullptr);  // null is stored unchanged
    delete second;
    EXPECT_EQ(CLogManager::Log(), nullptr);
    EXPECT_EQ(sink.writes, 0);
    CLogManager::Log() = builtIn;
}

}  // namespace
}  // namespace vd
