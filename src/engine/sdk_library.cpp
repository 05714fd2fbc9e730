#include "engine/sdk_library.h"

namespace vd {

bool SdkLibrary::Load(const std::string& path) {
    Unload();
    module_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module_ != nullptr;
}

void SdkLibrary::Unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
}

bool SdkLibrary::ResolveAll(PlaySdkTable* table) const {
    *table = PlaySdkTable{};
    if (!module_) return false;
    void** entries = reinterpret_cast<void**>(table);
    bool complete = true;
    for (int i = 0; i < kPlaySdkEntryCount; ++i) {
        entries[i] = reinterpret_cast<void*>(GetProcAddress(module_, kPlaySdkEntryNames[i]));
        if (!entries[i]) complete = false;
    }
    return complete;
}

}  // namespace vd
