// The host commands the sound tests run under Wine (parec, kill): their
// output and exit status come back, and one that overstays is ended.
#include <gtest/gtest.h>

#include "common/host_command.h"

namespace vdtest {
namespace {

TEST(SoundHelpers, AHostCommandGivesItsOutputAndExitStatus) {
    const HostResult result = RunHostCommand("echo 'it ran'; echo \"$0\" >/dev/null; exit 3", 30000);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.output, "it ran\n");
}

TEST(SoundHelpers, AHostCommandPastItsDeadlineIsEnded) {
    const std::string marker = HostPath(".") + "/vd_host_command_marker";
    const HostResult result = RunHostCommand("sleep 3; touch " + ShellWord(marker), 300);
    EXPECT_FALSE(result.finished);
    Sleep(3500);
    const HostResult check = RunHostCommand("test -e " + ShellWord(marker), 30000);
    ASSERT_TRUE(check.finished);
    EXPECT_NE(check.exitCode, 0) << "the command went on after its deadline";
    RunHostCommand("rm -f " + ShellWord(marker), 30000);
}

TEST(SoundHelpers, PathsMapBetweenWindowsAndTheHost) {
    const std::string host = HostPath("C:\\windows");
    ASSERT_FALSE(host.empty());
    EXPECT_EQ(host.substr(host.size() - 11), "/c:/windows");
    EXPECT_EQ(WindowsPath(host), "C:\\windows");
    EXPECT_EQ(WindowsPath("/"), "Z:\\");
    EXPECT_EQ(ShellWord("it's"), "'it'\\''s'");
}

}  // namespace
}  // namespace vdtest
