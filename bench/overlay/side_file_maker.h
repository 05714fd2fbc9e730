// Side files shaped as recorders write them: 25 stamp groups per second,
// a few Lines with recurring IDs (some only extend an earlier Line), and a
// Text per group.
#ifndef VD_BENCH_OVERLAY_SIDE_FILE_MAKER_H
#define VD_BENCH_OVERLAY_SIDE_FILE_MAKER_H

#include <string>

namespace vdtest {

constexpr int kGroupsPerSecond = 25;

std::string MakeSideFile(int seconds);

}  // namespace vdtest

#endif
