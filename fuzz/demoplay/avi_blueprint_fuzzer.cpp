// Builds a file from each input taken as a blueprint (see avi_blueprint.h)
// and feeds it to the play SDK's parsing paths, so that mutations of a few
// bytes explore files of megabytes with deep and hostile indexes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "avi_blueprint.h"
#include "sdk_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> file = demoplay_test::BuildAvi(demoplay_test::Blueprint::Decode(data, size));
    if (file.size() > demoplay_test::kMaxBlueprintBytes) std::abort();
    ExerciseSdkPaths(file.data(), file.size());
    return 0;
}
