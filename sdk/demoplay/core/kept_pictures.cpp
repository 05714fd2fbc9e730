#include "core/kept_pictures.h"

namespace demoplay {

size_t KeptPictures::StartIndex(uint64_t shown) const {
    size_t from = 0;
    for (size_t i = 0; i < pictures_.size(); ++i)
        if (pictures_[i].facts.key && shown > 0 && pictures_[i].position < shown) from = i;
    return from;
}

void KeptPictures::Clear() {
    pictures_.clear();
    bytes_ = 0;
}

void KeptPictures::DropFront(size_t count) {
    for (size_t i = 0; i < count; ++i) bytes_ -= pictures_[i].data.size();
    pictures_.erase(pictures_.begin(), pictures_.begin() + ptrdiff_t(count));
}

void KeptPictures::Add(const uint8_t* data, size_t size, uint64_t position, const AccessUnitFacts& facts,
                       uint64_t shown, const ParameterSets* sets) {
    if (facts.key) {
        DropFront(StartIndex(shown));  // groups wholly before the one on display
    } else if (pictures_.empty()) {
        return;  // no key picture since the last break
    }
    // Over the bounds: whole groups from the oldest on; the pictures of the
    // one group left keep only their places.
    while (!pictures_.empty() && (bytes_ + size > maxBytes_ || pictures_.size() >= maxPictures_)) {
        size_t next = 1;
        while (next < pictures_.size() && !pictures_[next].facts.key) ++next;
        if (next == pictures_.size() && !facts.key) {
            ++pictures_.back().placesAfter;
            return;
        }
        DropFront(next);
    }
    if (!facts.key && pictures_.back().placesAfter > 0) {
        ++pictures_.back().placesAfter;  // it cannot be decoded without those before it
        return;
    }
    KeptPicture k;
    if (facts.key && sets) k.data = sets->MissingFrom(data, size);
    k.data.insert(k.data.end(), data, data + size);
    k.position = position;
    k.facts = facts;
    bytes_ += k.data.size();
    pictures_.push_back(std::move(k));
}

}  // namespace demoplay
