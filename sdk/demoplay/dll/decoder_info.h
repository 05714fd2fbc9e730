// What the SDK says about itself through KV_GetDecoderInf.
#pragma once

namespace demoplay {

// "Protocol": the container; "Check": offset, length and bytes of the two
// signatures an AVI file starts with; "FileHeadLen": the bytes a stream
// must be opened with at least (the SDK collects the rest of the headers from
// the stream data itself).
constexpr char kDecoderInfo[] = "Protocol=AVI;Check=0,4,RIFF|8,4,AVI ;FileHeadLen=12";

}  // namespace demoplay
