// avcodec-59.dll and avutil-57.dll, loaded at run time from the folder of
// DemoPlay.dll itself, with the few functions the SDK calls. Without them the
// SDK still plays everything else (Motion-JPEG through stb_image); H.264 and
// H.265 are then unsupported.
#pragma once

#include <memory>

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

}  // namespace demoplay
