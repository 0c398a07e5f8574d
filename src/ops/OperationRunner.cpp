#include "ops/OperationRunner.h"

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

constexpr const char* kEndedPartWay = "\n\nОперация прервана. Выполненное до ошибки сохранено в базе.";
} // namespace

std::string describeError(const std::exception& e)
{
    std::string number;
    if (const auto* d = dynamic_cast<const db::DbError*>(&e))
        number = std::to_string(d->nativeCode) + " (SQLSTATE " + d->sqlState + ")";
    else if (const auto* s = dynamic_cast<const SystemError*>(&e))
        number = std::to_string(s->number);
    return (number.empty() ? "Ошибка: " : "Ошибка " + number + ": ") + e.what();
}

std::optional<db::Connection> OpenSiteConnection(SiteWindow& window)
{
    try {
        return db::openSite(window.connectionFields());
    } catch (const db::DbError& e) {
        window.showMessage(MessageIcon::Critical, e.what());
        return std::nullopt;
    }
}

RunOutcome OperationRunner::run(const std::function<Report(db::Connection&)>& body)
{
    if (m_busy)
        return {RunStatus::Busy, {}};
    BusyFlag busy(m_busy);
    const std::string savedCaption = m_window.caption();
    auto connection = OpenSiteConnection(m_window);
    if (!connection)
        return {RunStatus::NotConnected, {}};
    RunOutcome outcome;
    try {
        outcome.report = body(*connection);
    } catch (const std::exception& e) {
        outcome = {RunStatus::Failed, Report(MessageIcon::Critical, describeError(e) + kEndedPartWay)};
    }
    connection->close();
    if (m_window.caption() != savedCaption)
        m_window.setCaption(savedCaption);
    deliver(outcome.report);
    return outcome;
}

void OperationRunner::deliver(Report& report)
{
    if (report.layout)
        m_window.setButtonLayout(*report.layout);
    if (report.view && !m_window.openInTextViewer(report.view->path))
        report.text += report.view->ifNotOpened + "\n";
    if (report.showWindow)
        m_window.showWindow();
    if (!report.text.empty())
        m_window.showMessage(report.icon, report.text);
}
