#pragma once
// Work on a thread of its own, and a wait for it with a bound. The standard futures are not used:
// their waits (and the call_once behind them) hang with the Windows toolchain's threads. A job's
// state is shared by its thread and whoever waits, so a job may be left to end on its own.
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class BackgroundJob
{
  public:
    // Starts the work at once.
    static std::shared_ptr<BackgroundJob> start(std::function<void()> work)
    {
        auto job = std::make_shared<BackgroundJob>();
        std::thread([job, work = std::move(work)] {
            std::exception_ptr error;
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
            {
                const std::lock_guard lock(job->m_mutex);
                job->m_error = error;
                job->m_done = true;
            }
            job->m_ended.notify_all();
        }).detach();
        return job;
    }

    // Whether the work has ended, waiting at most `bound` for it.
    bool waitFor(std::chrono::milliseconds bound) const
    {
        std::unique_lock lock(m_mutex);
        return m_ended.wait_for(lock, bound, [this] { return m_done; });
    }
    void wait() const
    {
        std::unique_lock lock(m_mutex);
        m_ended.wait(lock, [this] { return m_done; });
    }
    // Waits for the work and throws what it threw.
    void get() const
    {
        wait();
        const std::lock_guard lock(m_mutex);
        if (m_error)
            std::rethrow_exception(m_error);
    }

  private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_ended;
    bool m_done = false;
    std::exception_ptr m_error;
};
