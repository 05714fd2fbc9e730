// Recognising H.264 and H.265: AVI codes and the first bytes of a raw stream;
// and the presentation order of decoded pictures.
#include <gtest/gtest.h>

#include <vector>

#include "core/byte_io.h"
#include "core/frame_layout.h"
#include "core/presentation_order.h"
#include "core/video_codec.h"

using demoplay::AnnexBStatus;
using demoplay::FourCc;
using demoplay::VideoCodec;

namespace {

TEST(VideoCodec, AviCodesOfBothCodecsInEitherCase) {
  struct Case {
    uint32_t code;
    VideoCodec codec;
  };
  const Case cases[] = {
      {FourCc('H', '2', '6', '4'), VideoCodec::kH264}, {FourCc('h', '2', '6', '4'), VideoCodec::kH264},
      {FourCc('X', '2', '6', '4'), VideoCodec::kH264}, {FourCc('x', '2', '6', '4'), VideoCodec::kH264},
      {FourCc('A', 'V', 'C', '1'), VideoCodec::kH264}, {FourCc('a', 'v', 'c', '1'), VideoCodec::kH264},
      {FourCc('H', 'E', 'V', 'C'), VideoCodec::kH265}, {FourCc('h', 'e', 'v', 'c'), VideoCodec::kH265},
      {FourCc('H', '2', '6', '5'), VideoCodec::kH265}, {FourCc('H', 'V', 'C', '1'), VideoCodec::kH265},
      {FourCc('h', 'v', 'c', '1'), VideoCodec::kH265}, {FourCc('M', 'J', 'P', 'G'), VideoCodec::kNone},
      {FourCc('H', '2', '6', '3'), VideoCodec::kNone}, {FourCc('A', 'V', 'C', '2'), VideoCodec::kNone},
      {0, VideoCodec::kNone},
  };
  for (const Case& c : cases) EXPECT_EQ(demoplay::CodecOfFourCc(c.code), c.codec) << std::hex << c.code;
}

TEST(VideoCodec, TheFirstBytesOfARawStreamTellItsCodec) {
  struct Case {
    std::vector<uint8_t> bytes;
    AnnexBStatus status;
    VideoCodec codec;
  };
  const Case cases[] = {
      // H.264: SPS, access-unit delimiter, SEI, IDR slice, a slice (joined in the middle)
      {{0, 0, 0, 1, 0x67, 0x64, 0x00}, AnnexBStatus::kCodec, VideoCodec::kH264},
      {{0, 0, 1, 0x09, 0xF0}, AnnexBStatus::kCodec, VideoCodec::kH264},
      {{0, 0, 0, 1, 0x06, 0x05}, AnnexBStatus::kCodec, VideoCodec::kH264},
      {{0, 0, 0, 1, 0x06, 0x01}, AnnexBStatus::kCodec, VideoCodec::kH264},  // pic-timing SEI, not H.265 TSA
      {{0, 0, 0, 1, 0x65, 0x88}, AnnexBStatus::kCodec, VideoCodec::kH264},
      {{0, 0, 0, 1, 0x41, 0x9A}, AnnexBStatus::kCodec, VideoCodec::kH264},
      // H.265: VPS, SPS, PPS, access-unit delimiter, SEI, IDR, CRA, a trailing picture
      {{0, 0, 0, 1, 0x40, 0x01, 0x0C}, AnnexBStatus::kCodec, VideoCodec::kH265},
      {{0, 0, 1, 0x42, 0x01}, AnnexBStatus::kCodec, VideoCodec::kH265},
      {{0, 0, 0, 1, 0x44, 0x01}, AnnexBStatus::kCodec, VideoCodec::kH265},
      {{0, 0, 0, 1, 0x46, 0x01}, AnnexBStatus::kCodec, VideoCodec::kH265},
      {{0, 0, 0, 1, 0x4E, 0x01}, AnnexBStatus::kCodec, VideoCodec::kH265},
      {{0, 0, 0, 1, 0x26, 0x01}, AnnexBStatus::kCodec, VideoCodec::kH265},
      {{0, 0, 0, 1, 0x2A, 0x01}, AnnexBStatus::kCodec, VideoCodec::kH265},
      {{0, 0, 0, 1, 0x02, 0x01}, AnnexBStatus::kCodec, VideoCodec::kH265},
      // Too short to tell
      {{}, AnnexBStatus::kNeedMore, VideoCodec::kNone},
      {{0, 0}, AnnexBStatus::kNeedMore, VideoCodec::kNone},
      {{0, 0, 0}, AnnexBStatus::kNeedMore, VideoCodec::kNone},
      {{0, 0, 0, 1}, AnnexBStatus::kNeedMore, VideoCodec::kNone},
      {{0, 0, 0, 1, 0x40}, AnnexBStatus::kNeedMore, VideoCodec::kNone},
      // Not a raw stream
      {{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}, AnnexBStatus::kNotAnnexB, VideoCodec::kNone},
      {{0, 0, 2, 0x67, 0x42}, AnnexBStatus::kNotAnnexB, VideoCodec::kNone},
      {{0, 0, 0, 0, 1, 0x67}, AnnexBStatus::kNotAnnexB, VideoCodec::kNone},
      {{0, 0, 0, 1, 0xE7, 0x42}, AnnexBStatus::kNotAnnexB, VideoCodec::kNone},  // the forbidden bit
      {{0, 0, 0, 1, 0x1F, 0x42}, AnnexBStatus::kNotAnnexB, VideoCodec::kNone},  // no unit to start with
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const Case& c = cases[i];
    VideoCodec codec = VideoCodec::kH264;
    EXPECT_EQ(demoplay::DetectAnnexB(c.bytes.data(), c.bytes.size(), &codec), c.status) << "case " << i;
    EXPECT_EQ(codec, c.codec) << "case " << i;
  }
}

TEST(VideoCodec, CompressedVideoIsDeliveredAsI420OfTheHeadersSize) {
  demoplay::VideoStreamInfo v;
  v.compression = FourCc('H', 'E', 'V', 'C');
  v.width = 1921;  // odd sides are fine: the chroma planes round up
  v.height = 1081;
  demoplay::VideoLayout layout;
  ASSERT_EQ(demoplay::DescribeVideo(v, &layout), demoplay::LayoutStatus::kOk);
  EXPECT_EQ(layout.codec, VideoCodec::kH265);
  EXPECT_EQ(layout.kind, demoplay::kKindI420);
  EXPECT_TRUE(layout.compressed());
  EXPECT_EQ(layout.deliveredBytes, size_t(1921) * 1081 + 2 * size_t(961) * 541);
  v.width = 0;
  EXPECT_EQ(demoplay::DescribeVideo(v, &layout), demoplay::LayoutStatus::kBadSize);
  v.width = 9000;
  EXPECT_EQ(demoplay::DescribeVideo(v, &layout), demoplay::LayoutStatus::kBadSize);
}

// Decoding order I0 P3 B1 B2 P6 B4 B5 comes out as 0 1 2 3 4 5 6, each
// carrying the position it was fed with.
TEST(PresentationOrder, PicturesTakeTheirPlacesInPresentationOrder) {
  demoplay::PresentationOrder order;
  struct Out {
    uint64_t fed;
    bool key;
    uint64_t expected;
  };
  // Fed in decoding order 0..6; the decoder returns the pictures of
  // positions 0, 2, 3, 1, 5, 6, 4 (the I, the two Bs, the P, ...).
  for (uint64_t p = 0; p < 7; ++p) order.Fed(p);
  const Out outs[] = {{0, true, 0}, {2, false, 1}, {3, false, 2}, {1, false, 3},
                      {5, false, 4}, {6, false, 5}, {4, false, 6}};
  for (const Out& o : outs) EXPECT_EQ(order.Next(o.fed, o.key), o.expected) << o.fed;
  EXPECT_EQ(order.pending(), 0u);
}

TEST(PresentationOrder, APictureLostInDecodingShiftsNothingBeyondTheNextKeyPicture) {
  demoplay::PresentationOrder order;
  for (uint64_t p = 0; p < 8; ++p) order.Fed(p);
  // Picture 2 never comes out: the ones after it in its group move up one
  // place, the key picture at 5 puts things right.
  EXPECT_EQ(order.Next(0, true), 0u);
  EXPECT_EQ(order.Next(1, false), 1u);
  EXPECT_EQ(order.Next(3, false), 2u);
  EXPECT_EQ(order.Next(4, false), 3u);
  EXPECT_EQ(order.Next(5, true), 5u);
  EXPECT_EQ(order.Next(6, false), 6u);
  EXPECT_EQ(order.pending(), 1u);
  order.Reset();
  EXPECT_EQ(order.pending(), 0u);
  // Nothing fed: a picture keeps its own position.
  EXPECT_EQ(order.Next(42, false), 42u);
}

}  // namespace
