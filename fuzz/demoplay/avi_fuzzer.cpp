// Feeds arbitrary bytes to the play SDK's parsing paths as a file and as a
// live stream (see sdk_paths.h).
#include <cstddef>
#include <cstdint>

#include "sdk_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ExerciseSdkPaths(data, size);
    return 0;
}
