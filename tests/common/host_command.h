// Commands of the host system, run from a Windows test program under Wine:
// Wine starts a host program named by its host path, but tells neither its
// end nor its exit status, so both come back through files.
#ifndef TESTS_COMMON_HOST_COMMAND_H
#define TESTS_COMMON_HOST_COMMAND_H

#include <windows.h>

#include <string>

namespace vdtest {

// The host path of a Windows path, and back; "" when Wine cannot map it.
std::string HostPath(const std::string& windowsPath);
std::string WindowsPath(const std::string& hostPath);

// A variable of the process environment (Wine hands the host's on), or "".
std::string EnvironmentValue(const char* name);

// Quotes a text as one word for the host shell.
std::string ShellWord(const std::string& text);

struct HostResult {
    bool finished = false;  // false: the deadline passed (the command was ended)
    int exitCode = -1;
    std::string output;  // standard output and error together
};

// Runs a command line through the host's /bin/sh and waits for its end, at
// most deadlineMs.
HostResult RunHostCommand(const std::string& command, DWORD deadlineMs);

// A host program running in the background, stopped by its process id.
// The command must be one program with its arguments (and redirections).
class HostProcess {
public:
    HostProcess() = default;
    ~HostProcess() { Stop(); }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // True once the program runs and its process id is known.
    bool Start(const std::string& command);
    // Asks the program to end (SIGTERM) and waits (boundedly) for it; it
    // is killed if it does not end. Does nothing when it is not running.
    void Stop();
    bool running() const { return pid_ > 0; }

private:
    long pid_ = 0;
};

}  // namespace vdtest

#endif
