#pragma once
// Every user's activity statistics and rating, recomputed from the tables after the counter
// passes (the downloads of a user's links are the link counts the first pass has just written).
#include "db/Connection.h"
#include "ops/OperationRunner.h"
#include "ops/SecondSession.h"
#include "ratings/RatingCoefficients.h"
#include "ratings/RecountPass.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

// The rating statement for the users a selection names (see CodeRuns): the server weighs the
// values each row holds when it runs.
std::string ratingStatement(const RatingCoefficients& k, const std::string& selection);

// The grouped values of the user statistics. Where the run has a second session, each is grouped
// there while the counter passes go on here, as soon as no pass that is still to write changes what
// it reads; the user pass then writes the users there. Else each is grouped when the user pass
// starts, on the pass's own connection.
class UserStatistics
{
  public:
    static constexpr std::size_t kGrouped = 6; // the statistics with a grouping of their own

    explicit UserStatistics(OperationRunner& runner) : m_runner(runner), m_side(runner) {}
    UserStatistics(const UserStatistics&) = delete;
    UserStatistics& operator=(const UserStatistics&) = delete;

    // Queues on the second session what may be grouped once the counter pass with this index
    // starts: it reads nothing that pass writes, and what the passes before it wrote is final.
    void prepareAt(std::size_t pass);

    // The release vote sums grouped on the second session, and that session with nothing queued
    // there still at work, for the release counters to be written there; nothing where there is no
    // second session or where the grouping failed.
    struct MadeAhead {
        db::Connection& conn;
        const GroupedSource& values;
    };
    std::optional<MadeAhead> releaseVotes();
    // Throws the error of the release vote sums' grouping on the second session, if it failed: the
    // release votes pass meets it there, where grouping them in turn would have met it.
    void meetReleaseVotesError();

    // The user pass: recomputes the eight columns of tbl_user, each row written once, in runs of
    // users in ascending CODE order, the caption showing "n/total - login - Обновляем рейтинг по
    // пользователям" for every user once the user's run is written. releaseVotes: the release vote
    // sums of the third pass grouped on conn, or nullptr; where they are kept in a temporary table and
    // VOTES is grouped here, each user's VOTES adds up that user's rows of it instead of grouping the
    // votes again.
    void write(db::Connection& conn, const RatingCoefficients& k, const GroupedSource* releaseVotes,
               const RecountSizes& sizes);

  private:
    void group(db::Connection& conn, std::size_t statistic, const GroupedSource* releaseVotes);

    OperationRunner& m_runner;
    std::unique_ptr<GroupedSource> m_releaseVotes; // grouped on the second session, for VOTES
    std::optional<std::size_t> m_releaseVotesJob;  // the job grouping them
    std::string m_votesFrom;                       // VOTES summed from a table of release vote sums
    GroupedValues m_votesFromReleases;
    std::array<std::unique_ptr<GroupedSource>, kGrouped> m_sources;
    std::array<std::optional<std::size_t>, kGrouped> m_ready; // the jobs grouping them on the second session
    // Last: no job may still be grouping into the members above when they go.
    SecondSession m_side;
};
