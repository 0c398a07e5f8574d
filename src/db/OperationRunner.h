#pragma once
// Runs one button's database operation: the site connection is opened with the window's fields;
// a failed open has been reported and ends the operation. After the open, any error ends the
// operation only: the connection is closed, the caption the operation found is put back, the
// button layout stays as it is, and a critical box gives the error's number and description.
// What already ran stays done. While one operation runs no other can start.
#include "common/SiteWindow.h"
#include "db/Connection.h"

#include <exception>
#include <functional>
#include <string>

// How one button's operation ended.
enum class RunOutcome {
    Done,         // ran to its end
    Busy,         // another operation was running; nothing happened
    NotConnected, // the connection could not be opened (already reported)
    Failed,       // an error ended it part-way (already reported); what ran stays done
};

class OperationRunner
{
  public:
    explicit OperationRunner(SiteWindow& window) : m_window(window) {}

    bool busy() const { return m_busy; }

    RunOutcome run(const std::function<void(db::Connection&)>& body);

    SiteWindow& window() { return m_window; }

  private:
    SiteWindow& m_window;
    bool m_busy = false;
};

// The text of the error box for an error that ended an operation.
std::string describeError(const std::exception& e);
