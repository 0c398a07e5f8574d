#include "db/OperationRunner.h"

#include "common/TextFile.h"
#include "db/SiteConnection.h"

namespace
{
class BusyFlag
{
  public:
    explicit BusyFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyFlag() { m_flag = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

  private:
    bool& m_flag;
};
} // namespace

std::string describeError(const std::exception& e)
{
    std::string number;
    if (const auto* d = dynamic_cast<const db::DbError*>(&e))
        number = std::to_string(d->nativeCode) + " (SQLSTATE " + d->sqlState + ")";
    else if (const auto* s = dynamic_cast<const SystemError*>(&e))
        number = std::to_string(s->number);
    std::string text = number.empty() ? "Ошибка: " : "Ошибка " + number + ": ";
    text += e.what();
    text += "\n\nОперация прервана. Выполненное до ошибки сохранено в базе.";
    return text;
}

RunOutcome OperationRunner::run(const std::function<void(db::Connection&)>& body)
{
    if (m_busy)
        return RunOutcome::Busy;
    BusyFlag busy(m_busy);
    const std::string savedCaption = m_window.caption();
    auto connection = db::OpenSiteConnection(m_window);
    if (!connection)
        return RunOutcome::NotConnected;
    try {
        body(*connection);
        connection->close();
        return RunOutcome::Done;
    } catch (const std::exception& e) {
        connection->close();
        m_window.setCaption(savedCaption);
        m_window.showMessage(MessageIcon::Critical, describeError(e));
        return RunOutcome::Failed;
    }
}
