#include "vdplay/win_paths.h"

#include <windows.h>

namespace vdplay {

std::string NativePath(const std::string& path) {
    static const bool underWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (underWine && !path.empty() && path[0] == '/') return "Z:" + path;
    return path;
}

std::string ProgramDirectory() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n < MAX_PATH ? n : 0);
    const size_t slash = dir.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string SystemMessage(unsigned long error) {
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    if (s.empty()) s = "error " + std::to_string(error);
    return s;
}

bool ReadHead(const std::string& path, size_t limit, std::vector<uint8_t>* out, std::string* why) {
    out->clear();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *why = "it is a directory";
        return false;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = SystemMessage(GetLastError());
        return false;
    }
    out->resize(limit);
    size_t have = 0;
    bool ok = true;
    while (have < limit) {
        DWORD got = 0;
        const DWORD want = DWORD(limit - have < (1u << 20) ? limit - have : (1u << 20));
        if (!ReadFile(file, out->data() + have, want, &got, nullptr)) {
            *why = SystemMessage(GetLastError());
            ok = false;
            break;
        }
        if (got == 0) break;
        have += got;
    }
    CloseHandle(file);
    out->resize(have);
    return ok;
}

}  // namespace vdplay
