// The plug-in's decoder object. It holds nothing: every operation works on
// the process-wide play engine.
#ifndef VD_DECODER_VIDEO_DECODER_H
#define VD_DECODER_VIDEO_DECODER_H

#include <Orvane/IVideoDecoder_M.h>

namespace vd {

// Version reported by GetVersion: 8.4.
constexpr int kDecoderVersion = 0x00080004;

class CVideoDecoder final : public Orvane::IVideoDecoder_M {
public:
    int Initialize(int reserved) override;
    int Release() override;
    int GetVersion(int* version) override;
    int QuerySupport(const char* functionName, int* supported) override;
    int OpenFile(const char* fileName, int* port) override;
    int CloseFile(int port) override;
    int GetFileTime(int port, int* seconds) override;
    int OpenStream(const void* header, int headerLength, int pacedStream, int* port) override;
    int CloseStream(int port) override;
    int InputData(int port, const void* data, int length) override;
    int OpenSound(int port) override;
    int CloseSound(int port) override;
    int SetVolume(int port, unsigned int volume) override;
    int Play(int port, HWND window) override;
    int Stop(int port) override;
    int Pause(int port, int pause) override;
    int SetPlayTime(int port, int seconds) override;
    int GetPlayTime(int port, int* seconds) override;
    int SetPlayPos(int port, int percent) override;
    int GetPlayPos(int port, int* percent) override;
    int SetPlaySpeed(int port, int speed) override;
    int GetPlaySpeed(int port, int* speed) override;
    int OneByOne(int port) override;
    int OneByOneBack(int port) override;
    int StartRecord(int port, const char* fileName) override;
    int StopRecord(int port) override;
    int Snapshot(int port, const char* fileName) override;
    int Refresh(int port) override;
    int GetPictureSize(int port, int* width, int* height) override;
    int SetNotify(int port, int type, int first, int second) override;
    int SetDecodeCallBack(int port, Orvane::DecodeCallBack callback, int context) override;
    int SetDrawCallBack(int port, void* callback, int context) override;
    int Reserved(int first, int second, int third) override;
};

}  // namespace vd

#endif
