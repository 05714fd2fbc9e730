// Recognising H.264 and H.265: AVI codes and the first bytes of a raw stream;
// the presentation order of decoded pictures; and the pictures kept for the
// next recording.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_io.h"
#include "core/frame_layout.h"
#include "core/kept_pictures.h"
#include "core/nal_units.h"
#include "core/presentation_order.h"
#include "core/video_codec.h"

using demoplay::AccessUnitFacts;
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
        {FourCc('H', '2', '6', '4'), VideoCodec::kH264},
        {FourCc('h', '2', '6', '4'), VideoCodec::kH264},
        {FourCc('X', '2', '6', '4'), VideoCodec::kH264},
        {FourCc('x', '2', '6', '4'), VideoCodec::kH264},
        {FourCc('A', 'V', 'C', '1'), VideoCodec::kH264},
        {FourCc('a', 'v', 'c', '1'), VideoCodec::kH264},
        {FourCc('H', 'E', 'V', 'C'), VideoCodec::kH265},
        {FourCc('h', 'e', 'v', 'c'), VideoCodec::kH265},
        {FourCc('H', '2', '6', '5'), VideoCodec::kH265},
        {FourCc('H', 'V', 'C', '1'), VideoCodec::kH265},
        {FourCc('h', 'v', 'c', '1'), VideoCodec::kH265},
        {FourCc('M', 'J', 'P', 'G'), VideoCodec::kNone},
        {FourCc('H', '2', '6', '3'), VideoCodec::kNone},
        {FourCc('A', 'V', 'C', '2'), VideoCodec::kNone},
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
    const Out outs[] = {{0, true, 0},  {2, false, 1}, {3, false, 2}, {1, false, 3},
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

// Decoding started at a CRA fed at 10 (shown 12th) whose two leading
// pictures (fed at 11 and 12, shown 10th and 11th) cannot be decoded.
TEST(PresentationOrder, LeadingPicturesDroppedTakeTheirPlacesWithThem) {
    demoplay::PresentationOrder order;
    for (uint64_t p = 10; p < 15; ++p) order.Fed(p);
    order.DropLeading();
    order.DropLeading();
    EXPECT_EQ(order.Next(10, true), 12u);
    EXPECT_EQ(order.Next(13, false), 13u);
    EXPECT_EQ(order.Next(14, false), 14u);
    EXPECT_EQ(order.pending(), 0u);
}

// Access units of units with their header bytes, in either framing.
std::vector<uint8_t> AnnexB(const std::vector<std::vector<uint8_t>>& units) {
    std::vector<uint8_t> out;
    for (const auto& u : units) {
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), u.begin(), u.end());
    }
    return out;
}
std::vector<uint8_t> LengthPrefixed(const std::vector<std::vector<uint8_t>>& units) {
    std::vector<uint8_t> out;
    for (const auto& u : units) {
        out.insert(out.end(), {0, 0, uint8_t(u.size() >> 8), uint8_t(u.size())});
        out.insert(out.end(), u.begin(), u.end());
    }
    return out;
}

const std::vector<uint8_t> kSps0 = {0x67, 0x64, 0x00, 0x1E, 0xAC, 0xD9};  // number 0 (ue "1")
const std::vector<uint8_t> kSps1 = {0x67, 0x64, 0x00, 0x1E, 0x4A, 0xD9};  // number 1 (ue "010")
const std::vector<uint8_t> kPps0 = {0x68, 0xEF, 0x8F, 0xCB};
const std::vector<uint8_t> kIdr = {0x65, 0x88, 0x84};
const std::vector<uint8_t> kSlice = {0x41, 0x9A, 0x21};
// An H.265 sequence set behind a profile, tier and level of 12 bytes with
// zeros in it, escaped as an encoder escapes them ("00 00 03").
std::vector<uint8_t> H265Sps(uint8_t numberBits) {
    return {0x42, 0x01, 0x01, 0x01, 0x60, 0, 0, 3, 0, 0x90, 0, 0, 3, 0, 0, 3, 0, 0x5D, numberBits, 0xA0};
}

TEST(NalUnits, WhatAnAccessUnitHoldsInEitherFraming) {
    struct Case {
        const char* what;
        demoplay::VideoCodec codec;
        std::vector<std::vector<uint8_t>> units;
        bool picture, key, openKey, skippableLeading, parameterSets;
    };
    using demoplay::VideoCodec;
    const Case cases[] = {
        {"H.264 sets and IDR", VideoCodec::kH264, {kSps0, kPps0, kIdr}, true, true, false, false, true},
        {"H.264 slice", VideoCodec::kH264, {{0x09, 0xF0}, kSlice}, true, false, false, false, false},
        {"H.264 sets alone", VideoCodec::kH264, {kSps0, kPps0}, false, false, false, false, true},
        {"H.265 IDR with RADL", VideoCodec::kH265, {{0x26, 0x01, 0xAF}}, true, true, false, false, false},
        {"H.265 CRA", VideoCodec::kH265, {{0x40, 0x01, 0x0C}, {0x2A, 0x01, 0xAF}}, true, true, true, false, true},
        {"H.265 BLA", VideoCodec::kH265, {{0x20, 0x01, 0xAF}}, true, true, true, false, false},
        {"H.265 RASL", VideoCodec::kH265, {{0x10, 0x01, 0xAF}}, true, false, false, true, false},
        {"H.265 RADL", VideoCodec::kH265, {{0x0E, 0x01, 0xAF}}, true, false, false, false, false},
        {"H.265 trailing", VideoCodec::kH265, {{0x02, 0x01, 0xD0}}, true, false, false, false, false},
        {"H.265 SEI alone", VideoCodec::kH265, {{0x4E, 0x01, 0x05}}, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        for (int lengthSize : {0, 4}) {
            const std::vector<uint8_t> au = lengthSize ? LengthPrefixed(c.units) : AnnexB(c.units);
            const AccessUnitFacts f = demoplay::DescribeAccessUnit(au.data(), au.size(), lengthSize, c.codec);
            const std::string what = std::string(c.what) + (lengthSize ? " (length-prefixed)" : " (start codes)");
            EXPECT_EQ(f.picture, c.picture) << what;
            EXPECT_EQ(f.key, c.key) << what;
            EXPECT_EQ(f.openKey, c.openKey) << what;
            EXPECT_EQ(f.skippableLeading, c.skippableLeading) << what;
            EXPECT_EQ(f.parameterSets, c.parameterSets) << what;
        }
    }
    // A length running past the data ends the units; nothing is read beyond.
    const std::vector<uint8_t> cut = {0, 0, 0, 0x40, 0x65, 0x88};
    EXPECT_FALSE(demoplay::DescribeAccessUnit(cut.data(), cut.size(), 4, demoplay::VideoCodec::kH264).picture);
}

TEST(NalUnits, AKeyPictureWithoutItsSetsGetsTheLatestOfEachNumber) {
    for (int lengthSize : {0, 4}) {
        auto frame = [&](const std::vector<std::vector<uint8_t>>& u) {
            return lengthSize ? LengthPrefixed(u) : AnnexB(u);
        };
        demoplay::ParameterSets sets(demoplay::VideoCodec::kH264, lengthSize);
        const std::vector<uint8_t> first = frame({kSps0, kPps0, kIdr});
        sets.Remember(first.data(), first.size());
        sets.Remember(first.data(), first.size());  // the same numbers again replace, not add
        EXPECT_EQ(sets.count(), 2u);
        const std::vector<uint8_t> bare = frame({kIdr});
        EXPECT_EQ(sets.MissingFrom(bare.data(), bare.size()), frame({kSps0, kPps0}));
        EXPECT_TRUE(sets.MissingFrom(first.data(), first.size()).empty());
        // A second sequence set: a unit carrying only number 0 lacks it.
        const std::vector<uint8_t> second = frame({kSps1});
        sets.Remember(second.data(), second.size());
        EXPECT_EQ(sets.MissingFrom(first.data(), first.size()), frame({kSps0, kSps1, kPps0}));
    }
    // H.265: the sequence set's number lies behind its profile, tier and level.
    demoplay::ParameterSets sets(demoplay::VideoCodec::kH265, 0);
    const std::vector<uint8_t> vps = {0x40, 0x01, 0x0C}, pps = {0x44, 0x01, 0xC1}, cra = {0x2A, 0x01, 0xAF};
    const std::vector<uint8_t> withTwo = AnnexB({vps, H265Sps(0x6C), pps, cra});   // ue "011": 2
    const std::vector<uint8_t> withFive = AnnexB({vps, H265Sps(0x36), pps, cra});  // ue "00110": 5
    sets.Remember(withTwo.data(), withTwo.size());
    EXPECT_EQ(sets.count(), 3u);
    EXPECT_TRUE(sets.MissingFrom(withTwo.data(), withTwo.size()).empty());
    EXPECT_FALSE(sets.MissingFrom(withFive.data(), withFive.size()).empty());
}

// Pictures fed one after the other (K: a key picture, p: another), each of
// 100 bytes, with so many handed over before each: what is kept, with the
// places of pictures past the bounds, and where a recording starts.
TEST(KeptPictures, FromTheKeyPictureOfThePictureOnDisplayWithinTheBounds) {
    struct Case {
        const char* pictures;
        std::vector<uint64_t> shown;  // one past the last picture handed over, per picture fed
        size_t maxBytes, maxPictures;
        const char* kept;  // positions; "+n": places after the one before
        size_t start;      // where a recording starts, with the last `shown`
    };
    const Case cases[] = {
        // Nothing before the first key picture.
        {"ppKpp", {0, 0, 0, 0, 0}, 1000, 100, "2 3 4", 0},
        // The group of the picture on display stays with the ones decoded ahead.
        {"KppKpp", {0, 1, 2, 3, 3, 3}, 1000, 100, "0 1 2 3 4 5", 0},
        {"KppKpp", {0, 1, 2, 3, 4, 5}, 1000, 100, "0 1 2 3 4 5", 3},
        {"KppKppK", {0, 1, 2, 3, 4, 5, 5}, 1000, 100, "3 4 5 6", 0},
        // Nothing shown yet: the first kept.
        {"KpKp", {0, 0, 0, 0}, 1000, 100, "0 1 2 3", 0},
        // Over the bytes: the oldest group goes; a group alone keeps places.
        {"KppKpp", {0, 1, 1, 1, 1, 1}, 450, 100, "3 4 5", 0},
        {"Kpppppp", {0, 1, 2, 3, 4, 5, 6}, 450, 100, "0 1 2 3+3", 0},
        {"KpppppK", {0, 1, 2, 3, 4, 5, 6}, 450, 100, "6", 0},
        // Over the count likewise.
        {"Kpppp", {0, 0, 0, 0, 0}, 1000, 3, "0 1 2+2", 0},
    };
    for (const Case& c : cases) {
        demoplay::KeptPictures kept(c.maxBytes, c.maxPictures);
        const std::vector<uint8_t> picture(100, 7);
        for (size_t i = 0; c.pictures[i]; ++i) {
            AccessUnitFacts facts;
            facts.picture = true;
            facts.key = c.pictures[i] == 'K';
            kept.Add(picture.data(), picture.size(), i, facts, c.shown[i], nullptr);
        }
        std::string got;
        for (const demoplay::KeptPicture& k : kept.pictures()) {
            got += (got.empty() ? "" : " ") + std::to_string(k.position);
            if (k.placesAfter) got += "+" + std::to_string(k.placesAfter);
            EXPECT_EQ(k.data, picture);
        }
        EXPECT_EQ(got, c.kept) << c.pictures << " within " << c.maxBytes;
        EXPECT_EQ(kept.bytes(), kept.pictures().size() * 100) << c.pictures;
        EXPECT_LE(kept.bytes(), c.maxBytes) << c.pictures;
        EXPECT_EQ(kept.StartIndex(c.shown.back()), c.start) << c.pictures << " within " << c.maxBytes;
        kept.Clear();
        EXPECT_EQ(kept.bytes(), 0u);
    }
}

}  // namespace
