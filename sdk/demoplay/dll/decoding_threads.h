// The threads that run the ports' decoding loops. A thread whose loop has
// ended waits a few seconds for the next one before it ends, so that playing
// a port seldom waits for a thread to be made and to come up.
//
// Each thread holds a reference on this module and ends through
// FreeLibraryAndExitThread: a client that unloads the SDK without KV_Free
// does not pull the code from under a thread that is still waiting.
#ifndef DEMOPLAY_DLL_DECODING_THREADS_H
#define DEMOPLAY_DLL_DECODING_THREADS_H

#include <windows.h>

#include <functional>
#include <memory>

#include "dll/slim_sync.h"

namespace demoplay {

// How long a thread without work waits for the next loop.
constexpr DWORD kIdleThreadMs = 5000;

// One loop handed to a thread: tells when it has ended.
class JobTicket {
public:
    // Until the loop has returned.
    void Wait();
    // Said by the thread once the loop has returned.
    void Finish();

private:
    SlimMutex mutex_;
    SlimConditionVariable ended_;
    bool done_ = false;
};

class DecodingThreads {
public:
    // Runs `loop` on a waiting thread, or on a new one; null when no thread
    // could be made.
    static std::shared_ptr<JobTicket> Start(std::function<void()> loop);
    // The waiting threads end now rather than after their idle time (KV_Free).
    static void EndIdle();
};

}  // namespace demoplay

#endif  // DEMOPLAY_DLL_DECODING_THREADS_H
