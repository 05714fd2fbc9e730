#include "port/port_table.h"

#include <utility>

namespace vd {

std::shared_ptr<PortRecord> PortTable::Find(int port) {
    ScopedLock guard(lock_);
    const auto found = ports_.find(port);
    return found == ports_.end() ? nullptr : found->second;
}

std::shared_ptr<PortRecord> PortTable::Insert(int port, std::shared_ptr<PortRecord> record) {
    ScopedLock guard(lock_);
    std::shared_ptr<PortRecord>& slot = ports_[port];
    std::shared_ptr<PortRecord> replaced = std::move(slot);
    slot = std::move(record);
    return replaced;
}

std::shared_ptr<PortRecord> PortTable::Remove(int port) {
    ScopedLock guard(lock_);
    const auto found = ports_.find(port);
    if (found == ports_.end()) return nullptr;
    std::shared_ptr<PortRecord> record = std::move(found->second);
    ports_.erase(found);
    return record;
}

std::vector<std::pair<int, std::shared_ptr<PortRecord>>> PortTable::RemoveAll() {
    ScopedLock guard(lock_);
    std::vector<std::pair<int, std::shared_ptr<PortRecord>>> records(ports_.begin(), ports_.end());
    ports_.clear();
    return records;
}

}  // namespace vd
