// Writes AVI files for the tests, independently of the SDK's own writer: every
// picture kind, an optional PCM tone, and the index layouts the parser has to
// handle ('idx1' relative or absolute, none, OpenDML with 'AVIX' extensions
// and super-indexes). Each picture carries its number so that the tests can
// tell which one was delivered.
#ifndef VD_TESTS_DEMOPLAY_SAMPLE_AVI_H
#define VD_TESTS_DEMOPLAY_SAMPLE_AVI_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vdsample {

enum class Video { kI420, kYv12, kYuy2, kUyvy, kRgb32, kRgb32TopDown, kMjpeg, kRgb24 };
enum class Index { kIdx1, kIdx1Absolute, kNone, kOpenDml };
// How the sound samples are stored. The extensible ones use the extended
// format header with its subformat.
enum class Sound { kPcm16, kPcm24, kPcm32, kFloat32, kFloat64, kPcm24Extensible, kFloat32Extensible };

struct Recipe {
    Video video = Video::kI420;
    int width = 32;
    int height = 16;
    int fps = 25;
    int frames = 10;
    int audioRate = 0;  // 0: no sound stream
    int audioChannels = 1;
    int toneHz = 1000;
    Sound sound = Sound::kPcm16;
    int soundChunkFrames = 1;  // one sound chunk for every so many pictures
    bool interlaced = false;   // Motion-JPEG: two fields of half height per picture
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
const char* SoundName(Sound sound);

// The tone of the recipe's sound as 16-bit samples of one channel; every
// sound format stores these values exactly (24 and 32 bits with lower bits
// that round away, floats as value / 32768).
std::vector<int16_t> ToneSamples(const Recipe& recipe);

// A crafted file: one video stream whose OpenDML super-index has
// superEntries entries that all name the same standard index, whose
// indexEntries entries all point past the end of the file.
std::vector<uint8_t> SuperIndexOnOneIndex(int superEntries, int indexEntries);
// An ordinary file of exactly `bytes` bytes (at least 4096): tiny I420
// pictures, each listed once in standard indexes and in 'idx1'.
std::vector<uint8_t> PlainFileOfSize(size_t bytes);

// The stored bytes of picture n, and the bytes the SDK should deliver for it
// (RGB delivered as 32-bit bottom-up). Not for Motion-JPEG.
std::vector<uint8_t> StoredPicture(const Recipe& recipe, int n);
std::vector<uint8_t> DeliveredPicture(const Recipe& recipe, int n);
// The flat grey level of Motion-JPEG picture n (of its top field when
// interlaced; the bottom field has BottomFieldLevel(n)).
int JpegLevel(int n);
int BottomFieldLevel(int n);
// About the luma a decoded JPEG sample of full-range `level` is handed over
// with in a YUV kind (studio range, 16 to 235).
int StudioLevel(int level);
// The number carried by a delivered picture of the given kind, or -1.
int PictureNumber(int kind, const uint8_t* data, size_t size, int width, int height);
// Sound samples (per channel) stored with picture n (with one sound chunk
// per picture).
int SamplesForPicture(const Recipe& recipe, int n);
// Bytes of one sample of one channel, and the format tag of the recipe's sound.
int SoundSampleBytes(Sound sound);

}  // namespace vdsample

#endif  // VD_TESTS_DEMOPLAY_SAMPLE_AVI_H
