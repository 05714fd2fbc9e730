#include "vdplay/output_traces.h"

#include <atomic>
#include <cstring>

namespace vdplay {
namespace {

constexpr DWORD kDebugPrint = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr size_t kLongestTrace = 128;
const char kTracePrefix[] = "video output: ";
const char kDrawTrace[] = "begin draw video";

}  // namespace

ULONGLONG ProcessCpu100ns() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return value(kernel) + value(user);
}

namespace {

std::atomic<OutputTraces*> theCatcher{nullptr};

}  // namespace

OutputTraces::~OutputTraces() { Stop(); }

bool OutputTraces::Start() {
    OutputTraces* none = nullptr;
    if (!theCatcher.compare_exchange_strong(none, this)) return false;
    handler_ = AddVectoredExceptionHandler(1, &OutputTraces::OnException);
    if (!handler_) theCatcher.store(nullptr);
    return handler_ != nullptr;
}

void OutputTraces::Stop() {
    if (!handler_) return;
    RemoveVectoredExceptionHandler(handler_);
    handler_ = nullptr;
    theCatcher.store(nullptr);
}

// Runs for every exception in the process, the plug-in's two traces around
// each picture drawn included: those are counted, and what is not ours is
// turned away after a look at its first bytes.
LONG CALLBACK OutputTraces::OnException(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers ? pointers->ExceptionRecord : nullptr;
    if (!record || record->ExceptionCode != kDebugPrint || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const size_t length = size_t(record->ExceptionInformation[0]);
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    const size_t prefixLength = sizeof kTracePrefix - 1;
    if (text && length >= sizeof kDrawTrace && std::memcmp(text, kDrawTrace, sizeof kDrawTrace - 1) == 0) {
        if (OutputTraces* catcher = theCatcher.load()) catcher->NoteDraw();
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (!text || length <= prefixLength || length > kLongestTrace || std::memcmp(text, kTracePrefix, prefixLength) != 0)
        return EXCEPTION_CONTINUE_SEARCH;
    vdplay::OutputTrace trace;
    OutputTraces* catcher = theCatcher.load();
    if (catcher && vdplay::ParseOutputTrace(text, strnlen(text, length), &trace)) catcher->Note(trace);
    return EXCEPTION_CONTINUE_SEARCH;
}

void OutputTraces::Note(const vdplay::OutputTrace& trace) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (vdplay::OutputTrace& known : latest_) {
        if (known.port != trace.port) continue;
        if (known.output == trace.output && known.reason == trace.reason) return;
        known = trace;
        fresh_.push_back(trace);
        return;
    }
    latest_.push_back(trace);
    fresh_.push_back(trace);
}

void OutputTraces::NoteDraw() {
    const DWORD thread = GetCurrentThreadId();
    std::lock_guard<std::mutex> lock(mutex_);
    ++draws_.pictures;
    for (DWORD known : drawingThreads_)
        if (known == thread) return;
    drawingThreads_.push_back(thread);
    draws_.threads = int(drawingThreads_.size());
    if (threadsAwaited_ > 0 && draws_.threads == threadsAwaited_) {
        draws_.everyThreadTick = GetTickCount64();
        draws_.picturesThen = draws_.pictures;
        draws_.cpu100nsThen = ProcessCpu100ns();
    }
}

void OutputTraces::WatchForThreads(int threads) {
    std::lock_guard<std::mutex> lock(mutex_);
    threadsAwaited_ = threads;
}

OutputTraces::Draws OutputTraces::DrawsSoFar() {
    std::lock_guard<std::mutex> lock(mutex_);
    return draws_;
}

std::vector<vdplay::OutputTrace> OutputTraces::TakeNew() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<vdplay::OutputTrace> taken;
    taken.swap(fresh_);
    return taken;
}

std::string OutputTraces::OutputOf(int port) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const vdplay::OutputTrace& known : latest_)
        if (known.port == port) return known.output;
    return "";
}

}  // namespace vdplay
