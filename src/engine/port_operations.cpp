// Opening and closing ports. A record is complete before it enters the port
// table, so no other thread ever sees one half made; a port is stopped and
// its sound closed before its record goes.
#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <new>

#include "engine/play_engine.h"
#include "overlay/overlay_file.h"

namespace vd {

int PlayEngine::OpenPort(std::shared_ptr<PortRecord> record, std::shared_ptr<PortPresentation> presentation, int* port,
                         int openResult) {
    if (openResult < 0) return openResult;
    if (!record || !record->valid() || !presentation) return E_FAIL;
    sdk_.getMediaInfo(*port, &record->mediaInfo);  // a failure leaves it zero; pictures fill it in
    {
        ScopedLock guard(presentationsLock_);
        presentations_[*port] = std::move(presentation);
    }
    std::shared_ptr<PortRecord> replaced = shared_.ports.Insert(*port, std::move(record));
    // The SDK gave out a number we still held: that port is gone on its
    // side, so whatever still ran for it ends here.
    if (replaced) EndThreads(*replaced);
    return 0;
}

std::shared_ptr<PortPresentation> PlayEngine::FindPresentation(int port) {
    ScopedLock guard(presentationsLock_);
    const auto found = presentations_.find(port);
    return found == presentations_.end() ? nullptr : found->second;
}

namespace {

// The side file of a recording is its path with the extension ".lti" (one is
// added to a name without an extension). A path too long to take it has no
// side file.
void LoadSideFile(const char* fileName, PortPresentation& presentation) {
    if (!fileName) return;
    char path[520] = {};
    const std::size_t length = strnlen(fileName, sizeof path);
    if (length >= MAX_PATH) return;
    std::memcpy(path, fileName, length);
    if (!PathRenameExtensionA(path, ".lti")) return;
    LoadOverlayFile(presentation.overlayLock, path, presentation.overlayItems);
}

}  // namespace

int PlayEngine::OpenFile(const char* fileName, int* port) {
    if (!port) return E_FAIL;
    std::shared_ptr<PortRecord> record(new (std::nothrow) PortRecord(0, 0));
    std::shared_ptr<PortPresentation> presentation(new (std::nothrow) PortPresentation);
    if (!record || !record->valid() || !presentation) return E_FAIL;
    const int result = sdk_.openFile(fileName, port);
    if (result < 0) return result;
    // A missing, unreadable or malformed side file leaves the port without
    // overlay; the open goes on.
    LoadSideFile(fileName, *presentation);
    const int opened = OpenPort(std::move(record), std::move(presentation), port, result);
    if (opened != 0) sdk_.closeFile(*port);
    return opened;
}

int PlayEngine::OpenStream(const void* header, int headerLength, int pacedStream, int* port) {
    if (!port) return E_FAIL;
    std::shared_ptr<PortRecord> record(new (std::nothrow) PortRecord(1, pacedStream));
    std::shared_ptr<PortPresentation> presentation(new (std::nothrow) PortPresentation);
    if (!record || !record->valid() || !presentation) return E_FAIL;
    const int result = sdk_.openStream(header, headerLength, port);
    if (result < 0) return result;
    const int opened = OpenPort(std::move(record), std::move(presentation), port, result);
    if (opened != 0) sdk_.closeStream(*port);
    return opened;
}

int PlayEngine::ClosePort(int port, SdkClose close) {
    // A port still playing is stopped first: the SDK must not call back into
    // a record that is going away. Its sound is switched off too.
    if (std::shared_ptr<PortRecord> record = shared_.ports.Find(port)) {
        if (record->IsPlaying()) Stop(port, *record);
        EndSound(*record);
    }
    const int result = close(port);
    if (result < 0) return result;
    std::shared_ptr<PortRecord> record = shared_.ports.Remove(port);
    if (record) EndThreads(*record);
    ScopedLock guard(presentationsLock_);
    presentations_.erase(port);
    return 0;
}

int PlayEngine::CloseFile(int port) { return ClosePort(port, sdk_.closeFile); }

int PlayEngine::CloseStream(int port) { return ClosePort(port, sdk_.closeStream); }

}  // namespace vd
