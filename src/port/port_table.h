// The open ports and what every thread shares across them. The table's lock
// lives as long as the engine, so a look-up is safe whether or not the SDK
// is bound; it guards one look-up, insertion or removal at a time and is
// never held across an SDK call or together with another lock.
#ifndef VD_PORT_PORT_TABLE_H
#define VD_PORT_PORT_TABLE_H

#include <atomic>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "port/port_record.h"
#include "port/position_clock.h"
#include "port/win32_sync.h"

namespace vd {

class PortTable {
public:
    // The record of an open port, or null. The caller's reference keeps the
    // record alive even if the port is closed meanwhile.
    std::shared_ptr<PortRecord> Find(int port);
    // Enters the record under the port number; returns the record it
    // replaces, if any.
    std::shared_ptr<PortRecord> Insert(int port, std::shared_ptr<PortRecord> record);
    // Takes the port's record out of the table; null when there is none.
    std::shared_ptr<PortRecord> Remove(int port);
    // Takes every record out of the table, in port order.
    std::vector<std::pair<int, std::shared_ptr<PortRecord>>> RemoveAll();

private:
    CriticalSection lock_;
    std::map<int, std::shared_ptr<PortRecord>> ports_;
};

// What the frame intake and the display threads share across ports. Its
// address is the user value the SDK hands back with every frame.
struct PlayShared {
    PortTable ports;
    PositionClock clock;
    std::atomic<int> callbackCount{0};  // SDK callbacks since the last Play (traced)
};

}  // namespace vd

#endif
