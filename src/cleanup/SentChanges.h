#pragma once
// The changes of a real run: sent to the site as statements, many rows to a statement.
#include "cleanup/CleanupChanges.h"
#include "db/Connection.h"

#include <cstddef>
#include <string>

namespace cleanup
{

// No statement names more codes than this, so that it stays well under the server's packet limit.
inline constexpr std::size_t kCodesPerStatement = 2000;

class SentChanges : public CleanupChanges
{
  public:
    // returning: the server's DELETE takes a RETURNING list (MariaDB's does, MySQL's does not).
    explicit SentChanges(db::Connection& c, bool returning = false) : m_conn(c), m_returning(returning) {}
    ~SentChanges() override;
    SentChanges(const SentChanges&) = delete;
    SentChanges& operator=(const SentChanges&) = delete;

    // "delete from <table> where CODE in (...)"
    void deleteRows(std::string_view table, CodeList codes, const ServerChanges& follows) override;
    // "update <table> set <column>=<first user> where CODE in (...)"
    void replaceAuthor(std::string_view table, std::string_view column, CodeList codes, const std::string& firstUser,
                       const ServerChanges& follows) override;
    // "start transaction", then "select CODE from <table> where CODE in (...) for update".
    bool lockRows(std::string_view table, CodeList codes) override;
    void abandonBatch() noexcept override;
    // "delete from <table> where CODE in (...) returning <select list>" in a transaction; "commit and
    // chain", so that the next batch's transaction is open already.
    bool deletesReturning() const override { return m_returning; }
    std::vector<db::Rows> deleteReturning(std::string_view table, CodeList codes,
                                          const std::string& selectList) override;
    void commitBatch() override;

  private:
    // Sends the statements, and commits the batch's transaction where lockRows opened one.
    void sendInLists(const std::string& head, CodeList codes);
    db::Connection& m_conn;
    bool m_returning;
    bool m_open = false;
};

} // namespace cleanup
