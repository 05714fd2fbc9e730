#include "common/child_process.h"

#include <windows.h>

#include <atomic>

namespace vdtest {
namespace {

std::string Quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            out.append(backslashes * 2 + 1, '\\');
        else
            out.append(backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

// A temporary file the child writes one of its streams into.
class CaptureFile {
public:
    CaptureFile() {
        static std::atomic<int> counter{0};
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + "vdchild_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(counter++) + ".txt";
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        handle_ = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~CaptureFile() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        DeleteFileA(path_.c_str());
    }
    HANDLE handle() const { return handle_; }
    std::string Read() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        std::string text;
        HANDLE f = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return text;
        char block[4096];
        DWORD got = 0;
        while (ReadFile(f, block, sizeof block, &got, nullptr) && got > 0) text.append(block, got);
        CloseHandle(f);
        return text;
    }

private:
    std::string path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

struct Child::State {
    CaptureFile out, err;
    PROCESS_INFORMATION process = {};
    bool started = false;
};

Child::Child() : state_(new State) {}

Child::~Child() {
    if (state_->started) {
        TerminateProcess(state_->process.hProcess, 259);
        WaitForSingleObject(state_->process.hProcess, 10000);
        CloseHandle(state_->process.hThread);
        CloseHandle(state_->process.hProcess);
    }
    delete state_;
}

bool Child::Start(const std::string& program, const std::vector<std::string>& args,
                  const std::string& workingDirectory) {
    std::string command = Quoted(program);
    for (const std::string& a : args) command += " " + Quoted(a);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = state_->out.handle();
    startup.hStdError = state_->err.handle();
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    state_->started =
        CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &state_->process) != 0;
    return state_->started;
}

unsigned long Child::processId() const { return state_->started ? state_->process.dwProcessId : 0; }

ChildResult Child::Wait(unsigned long deadlineMs) {
    ChildResult result;
    if (!state_->started) return result;
    result.started = true;
    if (WaitForSingleObject(state_->process.hProcess, deadlineMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        TerminateProcess(state_->process.hProcess, 259);
        WaitForSingleObject(state_->process.hProcess, 10000);
    }
    DWORD code = 0;
    GetExitCodeProcess(state_->process.hProcess, &code);
    result.exitCode = code;
    CloseHandle(state_->process.hThread);
    CloseHandle(state_->process.hProcess);
    state_->started = false;
    result.out = state_->out.Read();
    result.err = state_->err.Read();
    return result;
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args, unsigned long deadlineMs,
                     const std::string& workingDirectory) {
    Child child;
    if (!child.Start(program, args, workingDirectory)) return ChildResult();
    return child.Wait(deadlineMs);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace vdtest
