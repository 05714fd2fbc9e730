// The SDK's table of libavcodec functions, filled from the host's own
// libavcodec (the same major version as the DLLs) instead of loading them.
#include "codec/libav_library.h"

namespace demoplay {

std::shared_ptr<const LibAv> AcquireLibAv() {
    static const LibAv api = [] {
        LibAv a{&avcodec_find_decoder,  &avcodec_alloc_context3, &avcodec_open2,        &avcodec_send_packet,
                &avcodec_receive_frame, &avcodec_flush_buffers,  &avcodec_free_context, &av_packet_alloc,
                &av_packet_free,        &av_parser_init,         &av_parser_parse2,     &av_parser_close,
                &av_frame_alloc,        &av_frame_free,          &av_frame_unref,       &av_mallocz,
                &av_log_set_level};
        a.logSetLevel(AV_LOG_QUIET);
        return a;
    }();
    return std::shared_ptr<const LibAv>(&api, [](const LibAv*) {});
}

}  // namespace demoplay
