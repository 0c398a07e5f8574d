#pragma once
// A signal from one thread to others, given once and waited for with a bound: on Windows the
// system's own event, whose waits take a relative time-out, rather than the toolchain's emulated
// condition variables; elsewhere a condition variable.
#include <chrono>
#include <memory>

class Completion
{
  public:
    Completion();
    ~Completion();
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;

    // Gives the signal; what the giver wrote before is seen by whoever the signal wakes.
    void set();
    // Whether the signal was given, waiting at most `bound` for it.
    bool waitFor(std::chrono::milliseconds bound) const;
    void wait() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
