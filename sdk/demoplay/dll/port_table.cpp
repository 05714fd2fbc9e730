#include "dll/port_table.h"

namespace demoplay {

std::shared_ptr<PlayPort> PortTable::Create() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < kMaxPorts; ++i) {
    if (!ports_[i]) {
      ports_[i] = std::make_shared<PlayPort>(i);
      return ports_[i];
    }
  }
  return nullptr;
}

void PortTable::Remove(int id) {
  std::shared_ptr<PlayPort> gone;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id >= 0 && id < kMaxPorts) gone = std::move(ports_[id]);
  }
  // The port is destroyed here, outside the table's lock, unless a caller
  // still holds it.
}

std::shared_ptr<PlayPort> PortTable::Find(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (id < 0 || id >= kMaxPorts) return nullptr;
  return ports_[id];
}

// The one table of the loaded library. It is never destroyed: a destructor
// run while the library is unloaded would join decoding threads under the
// loader lock. Ports are closed by KV_CloseFile, KV_CloseStream or KV_Free.
PortTable& Ports() {
  static PortTable* table = new PortTable;
  return *table;
}

}  // namespace demoplay
