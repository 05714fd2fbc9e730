#include "dll/port_table.h"

namespace demoplay {

// The one table of the loaded library. It is never destroyed: a destructor
// run while the library is unloaded would join decoding threads under the
// loader lock. Ports are closed by KV_CloseFile, KV_CloseStream or KV_Free.
PortTable& Ports() {
    static PortTable* table = new PortTable;
    return *table;
}

}  // namespace demoplay
