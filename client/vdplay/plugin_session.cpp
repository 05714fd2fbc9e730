#include "vdplay/plugin_session.h"

#include "player/exit_codes.h"
#include "player/plugin_facts.h"
#include "vdplay/win_paths.h"

namespace vdplay {
namespace {

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

PluginSession::~PluginSession() { Close(); }

Failure PluginSession::Load(const std::string& pluginPath) {
    path_ = pluginPath;
    if (!FileExists(pluginPath))
        return {vdplay::kExitNoPlugin, "no plug-in at " + pluginPath + " (give its path with --plugin)"};
    // The plug-in's own dependencies are looked up beside it first.
    module_ = LoadLibraryExA(pluginPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module_) {
        return {vdplay::kExitNoPlugin, "cannot load the plug-in " + pluginPath + ": " + SystemMessage(GetLastError())};
    }
    create_ = Export<CreateTalvexObjectFn>(module_, "CreateTalvexObject");
    release_ = Export<ReleaseTalvexObjectFn>(module_, "ReleaseTalvexObject");
    if (!create_ || !release_) {
        return {
            vdplay::kExitNotAPlugin,
            pluginPath + " is not a decoder plug-in (it does not export CreateTalvexObject and ReleaseTalvexObject)"};
    }
    return {};
}

bool PluginSession::ReadCatalogue() {
    properties_.clear();
    void* object = nullptr;
    if (create_("IInterfaceList", 0, &object) != 0 || !object) return false;
    auto* list = static_cast<Orvane::IInterfaceList*>(object);
    if (list->GetCount() > 0) {
        if (Orvane::IInterface* entry = list->GetAt(0)) {
            const int count = entry->GetPropertyCount();
            for (int i = 0; i < count && i < 64; ++i) {
                const char* name = entry->GetPropertyName(i);
                const char* value = entry->GetPropertyValue(i);
                properties_.emplace_back(name ? name : "", value ? value : "");
            }
        }
    }
    release_(object);
    return true;
}

std::string PluginSession::Property(const std::string& name, const std::string& fallback) const {
    for (const auto& p : properties_)
        if (p.first == name) return p.second;
    return fallback;
}

Failure PluginSession::StartDecoder() {
    void* object = nullptr;
    if (create_("IVideoDecoder_M", 0, &object) != 0 || !object) {
        return {vdplay::kExitNotAPlugin, path_ + " makes no IVideoDecoder_M (CreateTalvexObject refused it)"};
    }
    decoder_ = static_cast<Orvane::IVideoDecoder_M*>(object);
    const int result = decoder_->Initialize(0);
    if (result != 0) {
        const std::string sdk = vdplay::SdkPathForPlugin(path_);
        if (!FileExists(sdk)) {
            return {vdplay::kExitNoSdk, "the plug-in's play SDK is missing: " + sdk +
                                            " must lie beside the plug-in (Initialize returned " +
                                            vdplay::ResultText(result) + ")"};
        }
        return {vdplay::kExitNoSdk, "the plug-in could not bind its play SDK " + sdk + " (Initialize returned " +
                                        vdplay::ResultText(result) + ")"};
    }
    initialized_ = true;
    return {};
}

void PluginSession::Close() {
    if (decoder_) {
        if (initialized_) decoder_->Release();
        release_(decoder_);
        decoder_ = nullptr;
        initialized_ = false;
    }
    if (module_) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
    create_ = nullptr;
    release_ = nullptr;
}

}  // namespace vdplay
