#pragma once
// A second connection of the run's own to the same site, set up as the run's first: work queued
// there runs, one job after another, while the run goes on here. Inside a run's body only.
#include "db/Connection.h"
#include "ops/OperationRunner.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

class SecondSession
{
  public:
    explicit SecondSession(OperationRunner& runner) : m_runner(runner) {}
    // Every job queued has ended when it goes (the window answering meanwhile).
    ~SecondSession();
    SecondSession(const SecondSession&) = delete;
    SecondSession& operator=(const SecondSession&) = delete;

    // Queues job after every job queued before it and returns its number at once; nothing where no
    // second session can be opened (an account held to one session, a server out of connections):
    // the caller then does the work itself, in turn. The job must touch nothing that the work going
    // on here meanwhile writes; the temporary tables it leaves are read later through here().
    std::optional<std::size_t> queue(std::function<void(db::Connection&)> job);
    // Waits for job n, the window answering meanwhile, and throws its error here.
    void wait(std::size_t n);
    // The session itself, every queued job ended, to send statements on from here (the window
    // answering while they run). Only after a job was queued.
    db::Connection& here();

  private:
    OperationRunner& m_runner;
    std::vector<std::shared_ptr<BackgroundJob>> m_jobs;
};
