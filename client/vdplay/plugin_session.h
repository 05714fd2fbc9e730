// The plug-in as a surveillance client holds it: the library loaded by path,
// its two exported functions, the catalogue entry read at start, and the one
// decoder object, initialised and given back in the client's order.
#ifndef VD_VDPLAY_PLUGIN_SESSION_H
#define VD_VDPLAY_PLUGIN_SESSION_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include <Orvane/VideoDecoderPlugin.h>

namespace vdplay {

struct Failure {
    int exitCode = 0;     // 0: none
    std::string message;  // one line, without the program name
};

class PluginSession {
public:
    PluginSession() = default;
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    // Loads the library and finds CreateTalvexObject and ReleaseTalvexObject.
    Failure Load(const std::string& pluginPath);
    // Reads the catalogue's first entry into properties(); false when the
    // plug-in makes no IInterfaceList (the plug-in still may decode).
    bool ReadCatalogue();
    // Makes the decoder and binds the play SDK (Initialize).
    Failure StartDecoder();
    // Release, ReleaseTalvexObject, FreeLibrary: whatever was done, undone.
    void Close();

    Orvane::IVideoDecoder_M* decoder() const { return decoder_; }
    const std::string& path() const { return path_; }
    const std::vector<std::pair<std::string, std::string>>& properties() const { return properties_; }
    // A catalogue property, or `fallback` when the entry has none.
    std::string Property(const std::string& name, const std::string& fallback = "") const;

private:
    std::string path_;
    HMODULE module_ = nullptr;
    CreateTalvexObjectFn create_ = nullptr;
    ReleaseTalvexObjectFn release_ = nullptr;
    Orvane::IVideoDecoder_M* decoder_ = nullptr;
    bool initialized_ = false;
    std::vector<std::pair<std::string, std::string>> properties_;
};

}  // namespace vdplay

#endif  // VD_VDPLAY_PLUGIN_SESSION_H
