#include "ops/SecondSession.h"

SecondSession::~SecondSession()
{
    m_runner.settle();
}

std::optional<std::size_t> SecondSession::queue(std::function<void(db::Connection&)> job)
{
    std::shared_ptr<BackgroundJob> queued = m_runner.ahead(std::move(job));
    if (!queued)
        return std::nullopt;
    m_jobs.push_back(std::move(queued));
    return m_jobs.size() - 1;
}

void SecondSession::wait(std::size_t n)
{
    m_runner.await(m_jobs.at(n));
}

db::Connection& SecondSession::here()
{
    return m_runner.sideHere();
}
