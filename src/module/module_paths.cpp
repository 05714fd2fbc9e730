#include "module/module_paths.h"

#include "module/file_name_rules.h"

namespace vd {

namespace {

HINSTANCE moduleInstance = nullptr;

LeadByteTable AnsiLeadBytes() {
    LeadByteTable table{};
    for (int b = 0; b < 256; ++b) table[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE;
    return table;
}

std::string ModulePath() {
    char buffer[kModulePathLimit] = {};
    const DWORD length = GetModuleFileNameA(moduleInstance, buffer, kModulePathLimit);
    return ModulePathFromBuffer(buffer, length);
}

// Computes a rule until it first succeeds; an empty result is not cached.
template <typename Rule>
std::string Cached(std::string& cache, Rule rule) {
    if (cache.empty()) cache = rule(ModulePath(), AnsiLeadBytes());
    return cache;
}

}  // namespace

void SetModuleInstance(HINSTANCE instance) { moduleInstance = instance; }

std::string ModuleFileName() {
    static std::string cache;
    return Cached(cache, ModuleFileNameFromPath);
}

std::string PlaySdkFileName() {
    static std::string cache;
    return Cached(cache, PlaySdkPathFromPath);
}

}  // namespace vd
