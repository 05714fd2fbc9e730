// The decoder interface: 33 operations in a fixed slot order. Results are
// 0 for success, E_FAIL or E_NOTIMPL for the plug-in's own failures, or a
// negative play-SDK result passed back unchanged. Port -1 means "no port".
#ifndef ORVANE_IVIDEODECODER_M_H
#define ORVANE_IVIDEODECODER_M_H

#include "Types.h"

namespace Orvane {

class IVideoDecoder_M {
public:
    virtual int Initialize(int reserved) = 0;                                                      // 0
    virtual int Release() = 0;                                                                     // 1
    virtual int GetVersion(int* version) = 0;                                                      // 2
    virtual int QuerySupport(const char* functionName, int* supported) = 0;                        // 3
    virtual int OpenFile(const char* fileName, int* port) = 0;                                     // 4
    virtual int CloseFile(int port) = 0;                                                           // 5
    virtual int GetFileTime(int port, int* seconds) = 0;                                           // 6
    virtual int OpenStream(const void* header, int headerLength, int pacedStream, int* port) = 0;  // 7
    virtual int CloseStream(int port) = 0;                                                         // 8
    virtual int InputData(int port, const void* data, int length) = 0;                             // 9
    virtual int OpenSound(int port) = 0;                                                           // 10
    virtual int CloseSound(int port) = 0;                                                          // 11
    virtual int SetVolume(int port, unsigned int volume) = 0;                                      // 12
    virtual int Play(int port, HWND window) = 0;                                                   // 13
    virtual int Stop(int port) = 0;                                                                // 14
    virtual int Pause(int port, int pause) = 0;                                                    // 15
    virtual int SetPlayTime(int port, int seconds) = 0;                                            // 16
    virtual int GetPlayTime(int port, int* seconds) = 0;                                           // 17
    virtual int SetPlayPos(int port, int percent) = 0;                                             // 18
    virtual int GetPlayPos(int port, int* percent) = 0;                                            // 19
    virtual int SetPlaySpeed(int port, int speed) = 0;                                             // 20
    virtual int GetPlaySpeed(int port, int* speed) = 0;                                            // 21
    virtual int OneByOne(int port) = 0;                                                            // 22
    virtual int OneByOneBack(int port) = 0;                                                        // 23
    virtual int StartRecord(int port, const char* fileName) = 0;                                   // 24
    virtual int StopRecord(int port) = 0;                                                          // 25
    virtual int Snapshot(int port, const char* fileName) = 0;                                      // 26
    virtual int Refresh(int port) = 0;                                                             // 27
    virtual int GetPictureSize(int port, int* width, int* height) = 0;                             // 28
    virtual int SetNotify(int port, int type, int first, int second) = 0;                          // 29
    virtual int SetDecodeCallBack(int port, DecodeCallBack callback,
                                  int context) = 0;                          // 30
    virtual int SetDrawCallBack(int port, void* callback, int context) = 0;  // 31
    virtual int Reserved(int first, int second, int third) = 0;              // 32
};

}  // namespace Orvane

#endif
