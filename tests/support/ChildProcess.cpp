#include "support/ChildProcess.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

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
