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

std::vector<std::shared_ptr<PlayPort>> PortTable::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::shared_ptr<PlayPort>> all;
  for (auto& p : ports_)
    if (p) all.push_back(std::move(p));
  return all;
}

// The one table of the loaded library.
PortTable& Ports() {
  static PortTable table;
  return table;
}

}  // namespace demoplay
