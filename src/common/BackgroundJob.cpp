#include "common/BackgroundJob.h"

#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace
{
// Threads that run jobs, kept for the next job once their work is over: a run sends thousands of
// statements, each through a job, and starting a thread for each costs more than many a statement.
// A job never waits behind another: it goes to an idle thread, or to a new one when none is idle,
// so a thread left at work on a connection that was cut holds up nothing but itself.
//
// No thread is detached while the program runs: the Windows toolchain's threads library reuses a
// detached thread's record while that thread is still starting or ending, and with many threads
// coming and going a thread then never runs its work (its waiter waits for ever) or faults. At exit,
// idle threads are ended and joined, and one still at work is let go.
class JobThreads
{
  public:
    static JobThreads& instance()
    {
        static JobThreads threads;
        return threads;
    }

    // work runs, then the thread is idle again, then ended() is called: whoever hears of the end
    // and starts the next job finds that thread idle.
    void run(std::function<void()> work, std::function<void()> ended)
    {
        std::shared_ptr<Completion> given;
        {
            const std::lock_guard lock(m_shared->mutex);
            if (!m_shared->idle.empty()) {
                const std::shared_ptr<Worker> worker = std::move(m_shared->idle.back());
                m_shared->idle.pop_back();
                worker->work = std::move(work);
                worker->ended = std::move(ended);
                worker->waiting = false;
                given = worker->given;
            }
        }
        if (given) {
            given->set();
            return;
        }
        auto worker = std::make_shared<Worker>();
        worker->work = std::move(work);
        worker->ended = std::move(ended);
        std::thread thread(serve, m_shared, worker);
        const std::lock_guard lock(m_shared->mutex);
        if (m_shared->closing)
            thread.detach(); // started during exit: it ends after its work
        else
            m_shared->all.push_back({std::move(thread), std::move(worker)});
    }

    ~JobThreads()
    {
        std::vector<std::thread> idle;
        {
            const std::lock_guard lock(m_shared->mutex);
            m_shared->closing = true;
            for (Shared::Entry& e : m_shared->all) {
                if (e.worker->waiting) {
                    e.worker->work = nullptr;
                    e.worker->given->set();
                    idle.push_back(std::move(e.thread));
                } else {
                    e.thread.detach();
                }
            }
            m_shared->all.clear();
            m_shared->idle.clear();
        }
        for (std::thread& t : idle)
            t.join();
    }

  private:
    struct Worker {
        std::function<void()> work;
        std::function<void()> ended;
        std::shared_ptr<Completion> given = std::make_shared<Completion>(); // work was handed over
        bool waiting = false;                                               // on the idle list (under the mutex)
    };
    // Shared with every thread, so that one let go at exit never outlives what it touches.
    struct Shared {
        struct Entry {
            std::thread thread;
            std::shared_ptr<Worker> worker;
        };
        std::mutex mutex;
        std::vector<Entry> all;
        std::vector<std::shared_ptr<Worker>> idle;
        bool closing = false;
    };

    static void serve(std::shared_ptr<Shared> shared, std::shared_ptr<Worker> worker)
    {
        for (;;) {
            std::function<void()> ended = std::move(worker->ended);
            std::function<void()> work = std::move(worker->work);
            if (!work)
                return; // ended at exit
            work();
            // What the work held goes before anyone hears that it ended.
            work = nullptr;
            const std::shared_ptr<Completion> given = std::make_shared<Completion>();
            bool keep = false;
            {
                const std::lock_guard lock(shared->mutex);
                if (!shared->closing) {
                    worker->given = given;
                    worker->waiting = true;
                    shared->idle.push_back(worker);
                    keep = true;
                }
            }
            ended();
            ended = nullptr;
            if (!keep)
                return;
            given->wait(); // the work and ended were handed over before the signal
        }
    }

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

} // namespace

std::shared_ptr<BackgroundJob> BackgroundJob::start(std::function<void()> work)
{
    auto job = std::make_shared<BackgroundJob>();
    JobThreads::instance().run(
        [job, work = std::move(work)]() mutable {
            try {
                work();
            } catch (...) {
                job->m_error = std::current_exception();
            }
            work = nullptr;
        },
        [job] { job->m_ended.set(); });
    return job;
}
