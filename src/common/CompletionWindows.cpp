#include "common/Completion.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

// A manual-reset event: once set it stays set, and its waits take a relative time-out.
struct Completion::State {
    HANDLE event = nullptr;
};

Completion::Completion() : m_state(std::make_unique<State>())
{
    m_state->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_state->event)
        throw std::runtime_error("CreateEventW failed");
}

Completion::~Completion()
{
    CloseHandle(m_state->event);
}

void Completion::set()
{
    SetEvent(m_state->event);
}

bool Completion::waitFor(std::chrono::milliseconds bound) const
{
    const auto ms = std::clamp<std::chrono::milliseconds::rep>(bound.count(), 0, INFINITE - 1);
    return WaitForSingleObject(m_state->event, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

void Completion::wait() const
{
    WaitForSingleObject(m_state->event, INFINITE);
}
