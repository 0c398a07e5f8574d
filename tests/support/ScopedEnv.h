#pragma once
// An environment variable set (or removed) for one scope, and put back as it was at its end.
#include <QByteArray>

#include <optional>
#include <string>

class ScopedEnv
{
  public:
    // value: nothing removes the variable for the scope.
    ScopedEnv(const char* name, const std::optional<std::string>& value)
        : m_name(name), m_was(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        if (value)
            qputenv(name, QByteArray::fromStdString(*value));
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_was)
            qputenv(m_name, *m_was);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    std::optional<QByteArray> m_was;
};
