// What the SDK says about itself through KV_GetDecoderInf.
#ifndef DEMOPLAY_DLL_DECODER_INFO_H
#define DEMOPLAY_DLL_DECODER_INFO_H

namespace demoplay {

// "Protocol": the containers and raw streams it plays (AVI files and
// streams; H.264 and H.265 Annex-B elementary streams); "Check": offset,
// length and bytes of the two signatures an AVI file starts with (a raw
// stream begins with a start code, which a text cannot name);
// "FileHeadLen": the bytes a stream must be opened with at least (the SDK
// collects the rest of an AVI stream's headers from the stream data itself);
// "Video": the picture codings it decodes.
constexpr char kDecoderInfo[] =
    "Protocol=AVI,H264,H265;Check=0,4,RIFF|8,4,AVI ;FileHeadLen=12;"
    "Video=I420,YV12,YUY2,UYVY,RGB,MJPG,H264,H265";

}  // namespace demoplay

#endif  // DEMOPLAY_DLL_DECODER_INFO_H
