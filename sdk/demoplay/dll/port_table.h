// The open ports by number. Callers get a shared reference, so a port stays
// alive while an entry point works on it even if another thread closes it.
// An opening port has its number reserved and is found only once it is open.
#ifndef DEMOPLAY_DLL_PORT_TABLE_H
#define DEMOPLAY_DLL_PORT_TABLE_H

#include "core/slot_table.h"
#include "dll/play_port.h"

namespace demoplay {

constexpr int kMaxPorts = 64;

using PortTable = SlotTable<PlayPort, kMaxPorts>;

PortTable& Ports();

}  // namespace demoplay

#endif  // DEMOPLAY_DLL_PORT_TABLE_H
