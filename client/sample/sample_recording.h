// Writes the sample recording: the test pattern as raw planar 4:2:0 or as
// Motion-JPEG, the tone interleaved picture by picture, through the SDK's
// own AVI writer; and the ".lti" overlay file beside it.
#ifndef VD_SAMPLE_SAMPLE_RECORDING_H
#define VD_SAMPLE_SAMPLE_RECORDING_H

#include <cstdint>
#include <string>

#include "core/byte_io.h"
#include "sample/pcm_tone.h"

namespace vdsample {

enum class PictureFormat { kYv12, kI420, kMjpeg };

struct RecordingPlan {
    int width = 640;
    int height = 480;
    int fps = 25;
    double seconds = 10.0;
    PictureFormat format = PictureFormat::kMjpeg;
    int jpegQuality = 85;
    bool sound = true;
    bool overlay = true;
    TonePlan tone;
};

// Empty when the plan can be written, else why not.
std::string CheckPlan(const RecordingPlan& plan);
// Number of pictures the recording holds.
int PictureCount(const RecordingPlan& plan);
// Text name of a format ("yv12", "i420", "mjpeg") and the reverse (false for
// an unknown name).
const char* FormatName(PictureFormat format);
bool ParseFormat(const std::string& name, PictureFormat* out);

// The AVI file alone, into any sink. False when the sink fails.
bool WriteAvi(demoplay::ByteSink* sink, const RecordingPlan& plan);

struct WrittenFiles {
    std::string avi;
    std::string overlay;  // empty when none was written
    uint64_t aviBytes = 0;
    int pictures = 0;
};

// The AVI file at `path` and, when the plan asks for it, its side file (the
// same path with the extension ".lti"). Empty result, or why it failed.
std::string WriteRecording(const std::string& path, const RecordingPlan& plan, WrittenFiles* written);

// The side-file path that goes with a media file.
std::string SideFilePath(const std::string& mediaPath);

}  // namespace vdsample

#endif  // VD_SAMPLE_SAMPLE_RECORDING_H
