#include "WindowRun.h"

#include "app/Form1.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <optional>

WindowRunResult runInWindow(const std::string& operation, const ConnectionFields& fields, const std::string& appFolder)
{
    static int argc = 1;
    static char name[] = "tk_bench";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    // The window's settings go to a file of their own, not to the user's.
    const std::string store = appFolder + "bench-settings.reg";
    Form1 window{SettingsStore(store), appFolder};
    window.startUp();
    window.show();
    const char* names[] = {"Text1", "Text2", "Text3", "Text4"};
    const std::string values[] = {fields.server, fields.user, fields.password, fields.database};
    for (int i = 0; i < 4; ++i)
        window.findChild<QLineEdit*>(names[i])->setText(QString::fromStdString(values[i]));
    window.setButtonLayout(ButtonLayout::Blocked);

    using Clock = std::chrono::steady_clock;
    WindowRunResult result;
    std::optional<Clock::time_point> lastPass, started;
    QTimer loop; // fires on every pass of the event loop
    QObject::connect(&loop, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (lastPass && started)
            result.longestPause = std::max<std::chrono::duration<double>>(result.longestPause, now - *lastPass);
        lastPass = now;
        ++result.loopPasses;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (result.message.empty()) {
                result.wall = now - *started;
                result.message = box->text().toStdString();
                result.completed = box->icon() == QMessageBox::Information;
            }
            box->accept();
        }
    });
    loop.start(0);
    QTimer::singleShot(100, [&] {
        auto* button = window.findChild<QPushButton*>(operation == "recount" ? "Command4" : "Command5");
        started = Clock::now();
        lastPass = started;
        button->click(); // returns once the closing message is answered
        QApplication::quit();
    });
    QApplication::exec();
    std::remove(store.c_str());
    return result;
}
