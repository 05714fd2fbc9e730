#include "dll/decoding_threads.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <utility>

namespace demoplay {
namespace {

struct Job {
    std::function<void()> loop;
    std::shared_ptr<JobTicket> ticket;
};

// Process-wide and never destroyed: a thread may still be on its way out
// when the module's static objects would be.
struct Pool {
    SlimMutex mutex;
    SlimConditionVariable work;
    std::deque<Job> jobs;  // handed to threads counted out of `idle` already
    int idle = 0;          // waiting threads not yet promised a job
    int ending = 0;        // of those, how many are to end now
};

Pool& ThePool() {
    static Pool* pool = new Pool();
    return *pool;
}

DWORD WINAPI ThreadMain(void* first) {
    Job job = std::move(*static_cast<Job*>(first));
    delete static_cast<Job*>(first);
    Pool& pool = ThePool();
    for (;;) {
        job.loop();
        job.loop = nullptr;  // what it holds goes before the ticket says done
        std::shared_ptr<JobTicket> ticket = std::move(job.ticket);
        // Counted idle before the loop's end is told, so that a port opened
        // right after the last one closed finds this thread.
        {
            std::lock_guard<SlimMutex> lock(pool.mutex);
            ++pool.idle;
        }
        ticket->Finish();
        ticket.reset();
        std::unique_lock<SlimMutex> lock(pool.mutex);
        pool.work.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(kIdleThreadMs),
                             [&] { return !pool.jobs.empty() || pool.ending > 0; });
        if (!pool.jobs.empty()) {
            job = std::move(pool.jobs.front());
            pool.jobs.pop_front();
            continue;
        }
        if (pool.ending > 0) --pool.ending;
        --pool.idle;
        break;
    }
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThreadMain), &self);
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

}  // namespace

void JobTicket::Wait() {
    std::unique_lock<SlimMutex> lock(mutex_);
    while (!done_) ended_.wait(lock);
}

void JobTicket::Finish() {
    std::lock_guard<SlimMutex> lock(mutex_);
    done_ = true;
    ended_.notify_all();
}

std::shared_ptr<JobTicket> DecodingThreads::Start(std::function<void()> loop) {
    auto job = std::make_unique<Job>();
    job->loop = std::move(loop);
    job->ticket = std::make_shared<JobTicket>();
    std::shared_ptr<JobTicket> ticket = job->ticket;
    Pool& pool = ThePool();
    {
        std::lock_guard<SlimMutex> lock(pool.mutex);
        if (pool.idle > 0) {
            --pool.idle;
            pool.ending = std::min(pool.ending, pool.idle);
            pool.jobs.push_back(std::move(*job));
            pool.work.notify_all();  // the idle threads that find no job wait again
            return ticket;
        }
    }
    // The new thread's reference on this module; it gives it back as it ends.
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ThreadMain), &self))
        return nullptr;
    Job* handed = job.release();
    HANDLE thread = CreateThread(nullptr, 0, &ThreadMain, handed, 0, nullptr);
    if (!thread) {
        delete handed;
        FreeLibrary(self);
        return nullptr;
    }
    CloseHandle(thread);
    return ticket;
}

void DecodingThreads::EndIdle() {
    Pool& pool = ThePool();
    std::lock_guard<SlimMutex> lock(pool.mutex);
    pool.ending = pool.idle;
    pool.work.notify_all();
}

}  // namespace demoplay
