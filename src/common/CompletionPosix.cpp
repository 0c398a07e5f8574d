#include "common/Completion.h"

#include <condition_variable>
#include <mutex>

struct Completion::State {
    std::mutex mutex;
    std::condition_variable set;
    bool done = false;
};

Completion::Completion() : m_state(std::make_unique<State>()) {}

Completion::~Completion() = default;

void Completion::set()
{
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->done = true;
    }
    m_state->set.notify_all();
}

bool Completion::waitFor(std::chrono::milliseconds bound) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->set.wait_for(lock, bound, [this] { return m_state->done; });
}

void Completion::wait() const
{
    std::unique_lock lock(m_state->mutex);
    m_state->set.wait(lock, [this] { return m_state->done; });
}
