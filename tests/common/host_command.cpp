#include "common/host_command.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vdtest {

namespace {

template <typename Fn>
Fn Kernel32Proc(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

bool Exists(const std::string& windowsPath) {
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::string& windowsPath) {
    std::ifstream in(windowsPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void RemoveFiles(const std::string& directory) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileA((directory + "\\" + found.cFileName).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(directory.c_str());
}

// A fresh directory for one command's script and result files.
class CommandFiles {
public:
    CommandFiles() {
        static std::atomic<int> counter{0};
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        directory_ =
            std::string(temp) + "vdhost_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
        CreateDirectoryA(directory_.c_str(), nullptr);
        host_ = HostPath(directory_);
    }
    ~CommandFiles() { RemoveFiles(directory_); }
    std::string Windows(const char* name) const { return directory_ + "\\" + name; }
    std::string Host(const char* name) const { return host_ + "/" + name; }
    bool usable() const { return !host_.empty(); }

private:
    std::string directory_;
    std::string host_;
};

// Starts /bin/sh on a script, in a process group of its own (so that the
// whole of it can be ended); Wine gives no usable process handle for a host
// program, so nothing is kept of it.
bool RunScript(const CommandFiles& files, const std::string& script) {
    {
        std::ofstream out(files.Windows("run.sh"), std::ios::binary);
        out << script;
        if (!out) return false;
    }
    std::string line = "/usr/bin/setsid /bin/sh \"" + files.Host("run.sh") + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Waits for a file that a script writes last; false at the deadline.
bool WaitForFile(const std::string& windowsPath, DWORD deadlineMs) {
    const DWORD start = GetTickCount();
    while (!Exists(windowsPath)) {
        if (GetTickCount() - start > deadlineMs) return false;
        Sleep(5);
    }
    return true;
}

}  // namespace

std::string HostPath(const std::string& windowsPath) {
    using ToUnix = char*(__cdecl*)(const WCHAR*);
    static const ToUnix toUnix = Kernel32Proc<ToUnix>("wine_get_unix_file_name");
    if (!toUnix) return "";
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* converted = toUnix(wide.c_str());
    if (!converted) return "";
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

std::string WindowsPath(const std::string& hostPath) {
    using ToDos = WCHAR*(__cdecl*)(const char*);
    static const ToDos toDos = Kernel32Proc<ToDos>("wine_get_dos_file_name");
    if (!toDos) return "";
    WCHAR* converted = toDos(hostPath.c_str());
    if (!converted) return "";
    std::string result;
    for (const WCHAR* c = converted; *c; ++c) result += static_cast<char>(*c);
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

std::string EnvironmentValue(const char* name) {
    char value[4096] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string ShellWord(const std::string& text) {
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

HostResult RunHostCommand(const std::string& command, DWORD deadlineMs) {
    HostResult result;
    CommandFiles files;
    if (!files.usable()) return result;
    const std::string script = "echo $$ > " + ShellWord(files.Host("pid")) + "\n(\n" + command + "\n) > " +
                               ShellWord(files.Host("out")) + " 2>&1 </dev/null\n" + "echo $? > " +
                               ShellWord(files.Host("rc.part")) + "\nmv " + ShellWord(files.Host("rc.part")) + " " +
                               ShellWord(files.Host("rc")) + "\n";
    if (!RunScript(files, script)) return result;
    if (!WaitForFile(files.Windows("rc"), deadlineMs)) {
        const std::string pid = ReadAll(files.Windows("pid"));
        const long shell = std::atol(pid.c_str());
        if (shell > 0) {
            CommandFiles killer;
            const std::string id = std::to_string(shell);
            RunScript(killer, "kill -9 -" + id + " 2>/dev/null\ntouch " + ShellWord(killer.Host("done")) + "\n");
            WaitForFile(killer.Windows("done"), 5000);
        }
        result.output = ReadAll(files.Windows("out"));
        return result;
    }
    result.finished = true;
    result.exitCode = std::atoi(ReadAll(files.Windows("rc")).c_str());
    result.output = ReadAll(files.Windows("out"));
    return result;
}

bool HostProcess::Start(const std::string& command) {
    Stop();
    CommandFiles files;
    if (!files.usable()) return false;
    // The shell stays as the program's parent until the program ends, so
    // the program is reaped and its process id is not taken by another.
    const std::string script = command + " </dev/null &\necho $! > " + ShellWord(files.Host("pid.part")) + "\nmv " +
                               ShellWord(files.Host("pid.part")) + " " + ShellWord(files.Host("pid")) + "\nwait\n";
    if (!RunScript(files, script)) return false;
    if (!WaitForFile(files.Windows("pid"), 10000)) return false;
    pid_ = std::atol(ReadAll(files.Windows("pid")).c_str());
    return pid_ > 0;
}

void HostProcess::Stop() {
    if (pid_ <= 0) return;
    const std::string id = std::to_string(pid_);
    // A program started in the background by a script ignores SIGINT.
    RunHostCommand("kill -TERM " + id + " 2>/dev/null\nfor i in $(seq 1 50); do kill -0 " + id +
                       " 2>/dev/null || exit 0; sleep 0.1; done\nkill -9 " + id + " 2>/dev/null\nexit 0",
                   15000);
    pid_ = 0;
}

}  // namespace vdtest
