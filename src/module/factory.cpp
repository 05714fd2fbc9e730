// The two exported functions through which the client makes and gives back
// every object of the plug-in.
#include <windows.h>

#include <cstring>
#include <new>

#include <Orvane/TalvexObject.h>

#include "catalogue/interface_list.h"
#include "decoder/video_decoder.h"
#include "module/live_object_registry.h"
#include "module/log_manager.h"
#include "module/module_paths.h"

namespace {

constexpr char kDecoderName[] = "IVideoDecoder_M";
constexpr char kListName[] = "IInterfaceList";
constexpr char kLogManagerName[] = "ILogManager";

// Makes the object for an interface name; null for an unknown name or when
// memory runs out. Building the catalogue never fails as a whole.
// `known` is one of the three name constants.
void* MakeObject(const char* known) {
    if (known == kDecoderName) {
        return static_cast<Orvane::IVideoDecoder_M*>(new (std::nothrow) vd::CVideoDecoder);
    }
    if (known == kListName) {
        try {
            return static_cast<Orvane::IInterfaceList*>(
                new vd::CInterfaceList(vd::PlaySdkFileName(), vd::ModuleFileName()));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    if (known == kLogManagerName) {
        return static_cast<Orvane::ILogManager*>(new (std::nothrow) vd::CLogManager);
    }
    return nullptr;
}

const char* CanonicalName(const char* name) {
    for (const char* known : {kDecoderName, kListName, kLogManagerName}) {
        if (std::strcmp(name, known) == 0) return known;
    }
    return nullptr;
}

void DestroyObject(const std::string& interfaceName, void* object) {
    if (interfaceName == kDecoderName) {
        delete static_cast<vd::CVideoDecoder*>(static_cast<Orvane::IVideoDecoder_M*>(object));
    } else if (interfaceName == kListName) {
        delete static_cast<vd::CInterfaceList*>(static_cast<Orvane::IInterfaceList*>(object));
    } else {
        delete static_cast<vd::CLogManager*>(static_cast<Orvane::ILogManager*>(object));
    }
}

}  // namespace

extern "C" int __cdecl CreateTalvexObject(const char* name, int, void** out) {
    if (!name || !out) return -1;
    const char* known = CanonicalName(name);
    if (!known) return -1;
    vd::LiveObjectRegistry& registry = vd::TheLiveObjectRegistry();
    if (known == kDecoderName && registry.Contains(kDecoderName)) return -1;

    void* object = MakeObject(known);
    if (!object) return -1;
    try {
        registry.Append(known, object);
    } catch (const std::bad_alloc&) {
        DestroyObject(known, object);
        return -1;
    }
    *out = object;
    return 0;
}

extern "C" int __cdecl ReleaseTalvexObject(void* object) {
    vd::LiveObjectRegistry& registry = vd::TheLiveObjectRegistry();
    const vd::LiveObjectRecord* record = registry.Find(object);
    if (!record) return -1;
    DestroyObject(record->interfaceName, record->object);
    registry.Erase(record);
    return 0;
}
