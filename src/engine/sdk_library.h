// Loading a play SDK and finding its entry points: the one place that does
// it, for the catalogue's short look at the SDK and the engine's binding.
#ifndef VD_ENGINE_SDK_LIBRARY_H
#define VD_ENGINE_SDK_LIBRARY_H

#include <windows.h>

#include <string>

#include "engine/play_sdk.h"

namespace vd {

class SdkLibrary {
public:
    SdkLibrary() = default;
    ~SdkLibrary() { Unload(); }
    SdkLibrary(const SdkLibrary&) = delete;
    SdkLibrary& operator=(const SdkLibrary&) = delete;

    // Loads the library; the libraries it needs are searched for in its own
    // directory first. A library already held is given back first.
    bool Load(const std::string& path);
    void Unload();
    // Forgets the library without freeing it (it stays loaded).
    void Abandon() { module_ = nullptr; }
    bool loaded() const { return module_ != nullptr; }

    // The named entry point as its own type, or null.
    template <typename Fn>
    Fn Resolve(const char* name) const {
        return module_ ? EntryPointCast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name))) : nullptr;
    }

    // Resolves the 17 entry points in order; false when any is missing (the
    // table then holds those that were found).
    bool ResolveAll(PlaySdkTable* table) const;

private:
    HMODULE module_ = nullptr;
};

}  // namespace vd

#endif
