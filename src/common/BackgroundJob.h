#pragma once
// Work on a thread of its own, and a wait for it with a bound. The standard futures are not used:
// their waits (and the call_once behind them) hang with the Windows toolchain's threads; the end is
// signalled through Completion. A job's state is shared by its thread and whoever waits, so a job
// may be left to end on its own.
#include "common/Completion.h"

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

class BackgroundJob
{
  public:
    // Starts the work at once.
    static std::shared_ptr<BackgroundJob> start(std::function<void()> work);

    // Whether the work has ended, waiting at most `bound` for it.
    bool waitFor(std::chrono::milliseconds bound) const { return m_ended.waitFor(bound); }
    void wait() const { m_ended.wait(); }
    // Waits for the work and throws what it threw.
    void get() const
    {
        wait();
        if (m_error)
            std::rethrow_exception(m_error);
    }

  private:
    Completion m_ended;
    std::exception_ptr m_error; // written before m_ended is set, read after
};
