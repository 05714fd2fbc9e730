// The open ports by number. Callers get a shared reference, so a port stays
// alive while an entry point works on it even if another thread closes it.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "dll/play_port.h"

namespace demoplay {

constexpr int kMaxPorts = 64;

class PortTable {
 public:
  // Reserves a number and makes its port; null when all are taken.
  std::shared_ptr<PlayPort> Create();
  void Remove(int id);
  std::shared_ptr<PlayPort> Find(int id);

 private:
  std::mutex mutex_;
  std::shared_ptr<PlayPort> ports_[kMaxPorts];
};

PortTable& Ports();

}  // namespace demoplay
