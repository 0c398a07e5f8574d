#pragma once
// A signal from one thread to others, given once and waited for with a bound. The standard
// condition variables are not used for it: with the Windows toolchain's threads their timed waits
// were seen to miss both the signal and the time-out, and the waiter slept for ever.
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
