#include "module/live_object_registry.h"

namespace vd {

bool LiveObjectRegistry::Contains(const char* interfaceName) const {
    for (const LiveObjectRecord& record : records_) {
        if (record.interfaceName == interfaceName) return true;
    }
    return false;
}

void LiveObjectRegistry::Append(const char* interfaceName, void* object) {
    records_.push_back(LiveObjectRecord{interfaceName, object});
}

const LiveObjectRecord* LiveObjectRegistry::Find(const void* object) const {
    for (const LiveObjectRecord& record : records_) {
        if (record.object == object) return &record;
    }
    return nullptr;
}

void LiveObjectRegistry::Erase(const LiveObjectRecord* record) {
    records_.erase(records_.begin() + (record - records_.data()));
}

LiveObjectRegistry& TheLiveObjectRegistry() {
    static LiveObjectRegistry registry;
    return registry;
}

}  // namespace vd
