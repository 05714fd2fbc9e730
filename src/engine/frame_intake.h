// The frame callback the SDK calls on its decoding threads for every decoded
// picture, sound block and data-less notification of a playing port.
#ifndef VD_ENGINE_FRAME_INTAKE_H
#define VD_ENGINE_FRAME_INTAKE_H

namespace vd {

// user is the PlayShared given to KV_Play. Always returns 0.
int __stdcall VideoCallBack(int port, const void* data, int size, int width, int height, unsigned int stamp, int kind,
                            int frameRate, void* user);

}  // namespace vd

#endif
