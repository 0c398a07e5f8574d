#include "support/ChildProcess.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QSysInfo>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

Result runProgram(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const std::string& e : env) {
        const auto eq = e.find('=');
        if (eq == std::string::npos)
            environment.remove(QString::fromStdString(e));
        else
            environment.insert(QString::fromStdString(e.substr(0, eq)), QString::fromStdString(e.substr(eq + 1)));
    }
    QStringList arguments;
    for (const std::string& a : args)
        arguments << QString::fromStdString(a);
    QProcess p;
    p.setProcessEnvironment(environment);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QString::fromStdString(program), arguments);
    Result r;
    if (!p.waitForStarted(-1) || !p.waitForFinished(-1)) {
        r.err = p.errorString().toStdString();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

namespace
{
bool underWindows()
{
    return QSysInfo::productType() == QLatin1String("windows");
}
} // namespace

int runOnHost(const std::string& shellCommand)
{
    if (!underWindows())
        return std::system(shellCommand.c_str()) == 0 ? 0 : 1;
    // wine's start reaches the host's programs but neither waits for them nor passes their status
    // on: the command leaves its status in a file, which is awaited here (Z: is the host's root).
    static std::atomic<int> runs{0};
    const std::string status =
        "/tmp/tk_host_" + std::to_string(QCoreApplication::applicationPid()) + "_" + std::to_string(runs++) + ".status";
    std::string windowsStatus = "Z:" + status;
    std::replace(windowsStatus.begin(), windowsStatus.end(), '/', '\\');
    std::filesystem::remove(windowsStatus);
    runProgram("start.exe",
               {"/unix", "/bin/sh", "-c",
                "(" + shellCommand + "); echo $? > " + status + ".part && mv " + status + ".part " + status});
    for (int waited = 0; waited < 6000 && !std::filesystem::exists(windowsStatus); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int code = -1;
    std::ifstream(windowsStatus) >> code;
    std::filesystem::remove(windowsStatus);
    return code;
}

std::string hostPath(const std::string& path)
{
    const char* prefix = std::getenv("WINEPREFIX");
    if (!underWindows() || !prefix || path.size() < 3 || path[1] != ':')
        return path;
    std::string unix = std::string(prefix) + "/dosdevices/" + static_cast<char>(std::tolower(path[0])) + ":";
    for (std::size_t i = 2; i < path.size(); ++i)
        unix += path[i] == '\\' ? '/' : path[i];
    return unix;
}
