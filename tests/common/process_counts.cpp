#include "common/process_counts.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

namespace vdtest {

namespace {

// The system's list of open handles (SystemExtendedHandleInformation);
// GetProcessHandleCount is a stub under Wine.
struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ACCESS_MASK access;
    USHORT creatorBackTrace;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
};

struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

}  // namespace

int OpenHandleCount() {
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const Query query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status < 0) return -1;
        const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
        int count = 0;
        for (ULONG_PTR i = 0; i < list->count; ++i) {
            if (list->entries[i].processId == GetCurrentProcessId()) ++count;
        }
        return count;
    }
    return -1;
}

std::set<unsigned long> ThreadIds() {
    std::set<unsigned long> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

int ThreadCount() {
    const std::set<unsigned long> ids = ThreadIds();
    return ids.empty() ? -1 : static_cast<int>(ids.size());
}

}  // namespace vdtest
