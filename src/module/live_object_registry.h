// Remembers, for every object handed to the client, which interface it was
// made for, so that it can be destroyed the right way (the interfaces have
// no virtual destructor). Not locked: the client calls the factory from one
// thread at a time.
#ifndef VD_MODULE_LIVE_OBJECT_REGISTRY_H
#define VD_MODULE_LIVE_OBJECT_REGISTRY_H

#include <string>
#include <vector>

namespace vd {

struct LiveObjectRecord {
    std::string interfaceName;
    void* object;
};

class LiveObjectRegistry {
public:
    bool Contains(const char* interfaceName) const;
    void Append(const char* interfaceName, void* object);
    // The first record holding object, or null.
    const LiveObjectRecord* Find(const void* object) const;
    // Erases that record; the later records keep their order.
    void Erase(const LiveObjectRecord* record);

private:
    std::vector<LiveObjectRecord> records_;
};

LiveObjectRegistry& TheLiveObjectRegistry();

}  // namespace vd

#endif
