#include "common/BackgroundJob.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace
{
// Every job's thread is joined, none is detached: the Windows toolchain's threads library reuses a
// detached thread's record while that thread is still starting or ending, and with many threads
// coming and going a thread then never runs its work (its waiter waits for ever) or faults. A
// thread whose work is over is joined when the next job starts; at exit, one still at work (a call
// left on a connection that was cut) is let go.
class ThreadYard
{
  public:
    static ThreadYard& instance()
    {
        static ThreadYard yard;
        return yard;
    }

    void add(std::thread thread, std::shared_ptr<const std::atomic<bool>> over)
    {
        const std::lock_guard lock(m_mutex);
        joinThoseOver();
        m_threads.push_back({std::move(thread), std::move(over)});
    }

    ~ThreadYard()
    {
        const std::lock_guard lock(m_mutex);
        joinThoseOver();
        for (Entry& e : m_threads)
            e.thread.detach();
    }

  private:
    struct Entry {
        std::thread thread;
        std::shared_ptr<const std::atomic<bool>> over; // the work done and let go of
    };

    void joinThoseOver()
    {
        std::erase_if(m_threads, [](Entry& e) {
            if (!e.over->load(std::memory_order_acquire))
                return false;
            e.thread.join();
            return true;
        });
    }

    std::mutex m_mutex;
    std::vector<Entry> m_threads;
};

} // namespace

std::shared_ptr<BackgroundJob> BackgroundJob::start(std::function<void()> work)
{
    auto job = std::make_shared<BackgroundJob>();
    auto over = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([job, over, work = std::move(work)]() mutable {
        try {
            work();
        } catch (...) {
            job->m_error = std::current_exception();
        }
        // What the work held goes before anyone hears that it ended.
        work = nullptr;
        job->m_ended.set();
        over->store(true, std::memory_order_release);
    });
    ThreadYard::instance().add(std::move(thread), std::move(over));
    return job;
}
