// Writes AVI files for the tests, independently of the SDK's own writer: every
// picture kind, an optional PCM tone, and the index layouts the parser has to
// handle ('idx1' relative or absolute, none, OpenDML with 'AVIX' extensions
// and super-indexes). Each picture carries its number so that the tests can
// tell which one was delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sample {

enum class Video { kI420, kYv12, kYuy2, kUyvy, kRgb32, kRgb32TopDown, kMjpeg, kRgb24 };
enum class Index { kIdx1, kIdx1Absolute, kNone, kOpenDml };

struct Recipe {
  Video video = Video::kI420;
  int width = 32;
  int height = 16;
  int fps = 25;
  int frames = 10;
  int audioRate = 0;  // 0: no sound stream
  int audioChannels = 1;
  int toneHz = 1000;
  Index index = Index::kIdx1;
  int framesPerRiff = 4;  // OpenDML: pictures in each RIFF
  bool recLists = false;  // wrap each picture and its sound in a 'rec ' list
};

struct File {
  std::vector<uint8_t> bytes;
  size_t streamHeaderLength = 0;  // up to and including the first 'movi' list header
};

File Make(const Recipe& recipe);

// Short names for test output.
const char* VideoName(Video video);
const char* IndexName(Index index);

// The stored bytes of picture n, and the bytes the SDK should deliver for it
// (RGB delivered as 32-bit bottom-up). Not for Motion-JPEG.
std::vector<uint8_t> StoredPicture(const Recipe& recipe, int n);
std::vector<uint8_t> DeliveredPicture(const Recipe& recipe, int n);
// The flat grey level of Motion-JPEG picture n.
int JpegLevel(int n);
// The number carried by a delivered picture of the given kind, or -1.
int PictureNumber(int kind, const uint8_t* data, size_t size, int width, int height);
// Sound samples (per channel) stored with picture n.
int SamplesForPicture(const Recipe& recipe, int n);

}  // namespace sample
