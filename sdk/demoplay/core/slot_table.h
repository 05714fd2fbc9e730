// Numbered slots shared between threads: a number is reserved first and the
// item published under it only when it is complete, so that no other thread
// finds an item that is still being made.
#ifndef DEMOPLAY_CORE_SLOT_TABLE_H
#define DEMOPLAY_CORE_SLOT_TABLE_H

#include <memory>
#include <mutex>

namespace demoplay {

template <typename T, int kSlots>
class SlotTable {
public:
    // The lowest free number, now reserved; -1 when every number is taken.
    int Reserve() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int i = 0; i < kSlots; ++i) {
            if (!reserved_[i]) {
                reserved_[i] = true;
                return i;
            }
        }
        return -1;
    }

    // Makes a reserved number find its item.
    void Publish(int id, std::shared_ptr<T> item) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (id >= 0 && id < kSlots && reserved_[id]) items_[id] = std::move(item);
    }

    // Frees a number reserved for an item that was never published.
    void Unreserve(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (id >= 0 && id < kSlots && !items_[id]) reserved_[id] = false;
    }

    // Frees a number if it still holds this item (two threads that close the
    // same item free its number once, never the number of a later item). The
    // item is given back so that it is destroyed outside the lock, unless a
    // caller still holds it.
    std::shared_ptr<T> Remove(int id, const T* item) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (id < 0 || id >= kSlots || !items_[id] || items_[id].get() != item) return nullptr;
        reserved_[id] = false;
        return std::move(items_[id]);
    }

    // The published item of a number, or null.
    std::shared_ptr<T> Find(int id) const {
        std::lock_guard<std::mutex> lock(mutex_);
        if (id < 0 || id >= kSlots) return nullptr;
        return items_[id];
    }

private:
    mutable std::mutex mutex_;
    bool reserved_[kSlots] = {};
    std::shared_ptr<T> items_[kSlots];
};

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_SLOT_TABLE_H
