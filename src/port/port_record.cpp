#include "port/port_record.h"

#include <utility>

namespace vd {

void CurrentFrame::Replace(QueuedFrame& frame) {
    ScopedLock guard(lock_);
    std::swap(frame_, frame);
}

void SparePicture::Give(QueuedFrame& frame) {
    if (!frame.HasData()) return;
    ScopedLock guard(lock_);
    if (!kept_.HasData()) kept_ = std::move(frame);
}

QueuedFrame SparePicture::Take() {
    ScopedLock guard(lock_);
    return std::move(kept_);
}

bool CurrentFrame::CopyTo(QueuedFrame& out) {
    ScopedLock guard(lock_);
    out = QueuedFrame();
    if (!frame_.HasData()) return true;
    if (!out.Allocate(frame_.size)) return false;
    std::copy(frame_.data.get(), frame_.data.get() + frame_.size, out.data.get());
    out.stamp = frame_.stamp;
    out.kind = frame_.kind;
    out.width = frame_.width;
    out.height = frame_.height;
    out.frameRate = frame_.frameRate;
    return true;
}

PortRecord::PortRecord(int isStreamPort, int paced) : isStream(isStreamPort), pacedStream(isStreamPort ? paced : 0) {}

PortRecord::~PortRecord() = default;

bool PortRecord::valid() const {
    return stopEvent.valid() && pauseEvent.valid() && displayQuitEvent.valid() && refreshEvent.valid() &&
           stepEvent.valid() && stepSeekEvent.valid() && displayWakeEvent.valid() && audioQuitEvent.valid() &&
           videoQueue.valid() && audioQueue.valid();
}

}  // namespace vd
