// Saving the picture a port shows as a 32-bit bottom-up bitmap file.
#ifndef VD_VIDEO_SNAPSHOT_H
#define VD_VIDEO_SNAPSHOT_H

namespace vd {

struct PortRecord;

// Saves the record's current frame under fileName. Returns 0, or E_FAIL
// when there is no picture of a planar 4:2:0 kind to save (after telling the
// user in a message box) or the file cannot be written completely (then no
// file is left behind).
int SaveSnapshot(PortRecord& record, const char* fileName);

}  // namespace vd

#endif
