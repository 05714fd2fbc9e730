// Catches the plug-in's traces of which video output each port uses. The
// plug-in writes them with OutputDebugStringA, which raises
// DBG_PRINTEXCEPTION_C in the calling thread; a vectored exception handler
// sees that first, notes the traces it knows and lets the exception go on
// as before. Without such traces nothing is noted.
#ifndef VD_VDPLAY_OUTPUT_TRACES_H
#define VD_VDPLAY_OUTPUT_TRACES_H

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "player/output_trace.h"

namespace vdplay {

// The CPU time of this process so far, in 100 ns units.
ULONGLONG ProcessCpu100ns();

class OutputTraces {
public:
    OutputTraces() = default;
    ~OutputTraces();
    OutputTraces(const OutputTraces&) = delete;
    OutputTraces& operator=(const OutputTraces&) = delete;

    // Starts catching (one catcher per process); false when it cannot.
    bool Start();
    void Stop();

    // Traces noted since the last call, in the order they came; a port that
    // traces again with another output or reason comes again.
    std::vector<vdplay::OutputTrace> TakeNew();
    // The output the port traced last, "" when it traced none.
    std::string OutputOf(int port);

    // The display threads also trace each picture they draw. Counted from
    // Start: pictures drawn, threads that drew, and the moment the number of
    // threads that drew first reached `threads` (0 until then), with the
    // pictures drawn and the process's CPU time at that moment.
    struct Draws {
        int64_t pictures = 0;
        int threads = 0;
        ULONGLONG everyThreadTick = 0;
        int64_t picturesThen = 0;
        ULONGLONG cpu100nsThen = 0;
    };
    void WatchForThreads(int threads);
    Draws DrawsSoFar();

private:
    static LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers);
    void Note(const vdplay::OutputTrace& trace);
    void NoteDraw();

    void* handler_ = nullptr;
    std::mutex mutex_;
    std::vector<vdplay::OutputTrace> latest_;  // one per port
    std::vector<vdplay::OutputTrace> fresh_;
    std::vector<DWORD> drawingThreads_;
    int threadsAwaited_ = 0;
    Draws draws_;
};

}  // namespace vdplay

#endif  // VD_VDPLAY_OUTPUT_TRACES_H
