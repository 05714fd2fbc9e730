// avcodec-59.dll and avutil-57.dll, loaded at run time from the folder of
// DemoPlay.dll itself, with the few functions the SDK calls. Without them the
// SDK still plays everything else (Motion-JPEG through stb_image); H.264 and
// H.265 are then unsupported.
#ifndef DEMOPLAY_CODEC_LIBAV_LIBRARY_H
#define DEMOPLAY_CODEC_LIBAV_LIBRARY_H

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace demoplay {

struct LibAv {
    decltype(&::avcodec_find_decoder) findDecoder;
    decltype(&::avcodec_alloc_context3) allocContext;
    decltype(&::avcodec_open2) open;
    decltype(&::avcodec_send_packet) sendPacket;
    decltype(&::avcodec_receive_frame) receiveFrame;
    decltype(&::avcodec_flush_buffers) flushBuffers;
    decltype(&::avcodec_free_context) freeContext;
    decltype(&::av_packet_alloc) packetAlloc;
    decltype(&::av_packet_free) packetFree;
    decltype(&::av_parser_init) parserInit;
    decltype(&::av_parser_parse2) parserParse;
    decltype(&::av_parser_close) parserClose;
    decltype(&::av_frame_alloc) frameAlloc;
    decltype(&::av_frame_free) frameFree;
    decltype(&::av_frame_unref) frameUnref;
    decltype(&::av_mallocz) mallocz;
    decltype(&::av_log_set_level) logSetLevel;
};

// The libraries, loaded on first use and unloaded when the last holder lets
// them go; null when they are missing or lack a function.
std::shared_ptr<const LibAv> AcquireLibAv();

// Hands a stream's codec set-up (parameter sets, an avcC/hvcC record, a
// Motion-JPEG flavour's tables) to a decoder context, with the zero padding
// libavcodec reads past it; the context frees it. Set-ups of 1 MiB or more are
// not handed over. False when the copy cannot be made.
inline bool SetCodecSetUp(const LibAv& av, AVCodecContext* context, const std::vector<uint8_t>& setUp) {
    if (setUp.empty() || setUp.size() >= (size_t(1) << 20)) return true;
    auto* copy = static_cast<uint8_t*>(av.mallocz(setUp.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!copy) return false;
    std::memcpy(copy, setUp.data(), setUp.size());
    context->extradata = copy;
    context->extradata_size = int(setUp.size());
    return true;
}

}  // namespace demoplay

#endif  // DEMOPLAY_CODEC_LIBAV_LIBRARY_H
