#pragma once
// What the cleanup tests share: a folder of their own for the run's files, the site dumped row by row,
// and the texts a run must produce, built here from the passes' own titles and labels.
#include "cleanup/AuthorshipPass.h"
#include "cleanup/CleanupRun.h"
#include "cleanup/OrphanPasses.h"
#include "common/TextCodec.h"
#include "support/RecordingWindow.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// The run's own texts, in run order: the eighteenth pass is the authorship pass.
inline std::string titleOf(std::size_t pass)
{
    return std::string(pass < 17 ? cleanup::kOrphanPasses[pass].title : cleanup::kAuthorshipTitle);
}

// The summary: one line per pass, each ended by a bare carriage return.
inline std::string summaryOf(const std::vector<std::uint64_t>& counts)
{
    std::string s;
    for (std::size_t i = 0; i < 18; ++i)
        s += std::string(i < 17 ? cleanup::kOrphanPasses[i].summaryLabel : cleanup::kAuthorshipLabel) +
             std::to_string(i < counts.size() ? counts[i] : 0) + "\r";
    return s;
}

// The summary as the message box and the console show it: one line each.
inline std::string linesOf(std::string summary)
{
    std::replace(summary.begin(), summary.end(), '\r', '\n');
    return summary;
}

inline std::string messageOf(const std::string& summary)
{
    return "Чистка окончена\n" + linesOf(summary);
}

// report.txt from the end of its date line on, in cp1251.
inline std::string reportAfterDate(const std::string& summary)
{
    return cp1251::fromUtf8("\r\nРезультат работы\r\n" + std::string(41, '=') + "\r\n" + summary + "\r\n");
}

// bad_sreen.txt listing these names, in cp1251; a NULL name is a line pointing to the exact list.
inline std::string listBytes(const std::vector<std::optional<std::string>>& names, const std::string& exactList)
{
    const std::string rule = std::string(87, '=') + "\r\n";
    std::string list =
        "Список скриншотов раздач, которых уже нет. Скриншоты можно (и нужно) удалить физически.\r\n" + rule;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (names[i] ? *names[i]
                          : "(имя только в точном списке " + exactList + ", строка " + std::to_string(i + 1) + ")") +
                "\r\n";
    return cp1251::fromUtf8(list + rule);
}

// Arguments of the mariadb client for these fields: host and port out of "127.0.0.1;port=3307".
inline std::string clientArgs(const ConnectionFields& f)
{
    std::string host = f.server, port = "3306";
    if (const auto semi = host.find(";port="); semi != std::string::npos) {
        port = host.substr(semi + 6);
        host.erase(semi);
    }
    return "--no-defaults -h" + host + " -P" + port + " -u" + f.user + " -p" + f.password + " " + f.database;
}

// A folder of the test's own, standing in for the executable's folder.
struct TempFolder : TempDir {
    explicit TempFolder(const std::string& label) : TempDir("cleanup_" + label) {}
    // The run's undo archive, or an empty path when there is none.
    fs::path archive() const { return archiveIn(path); }
    static fs::path archiveIn(const fs::path& folder)
    {
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename().string().starts_with("cleanup-undo-"))
                return e.path();
        return {};
    }
    // The run's exact screenshot list, or an empty path when there is none.
    fs::path exactList() const
    {
        for (const auto& e : fs::directory_iterator(path))
            if (e.path().filename().string().starts_with("cleanup-screenshots-"))
                return e.path();
        return {};
    }
    // The closing message's lines naming the files the run wrote: the archive (if any), the exact
    // list and how many names only it holds, the list (when it lists something) and the report; then
    // how to put the run back from its archive (a report that failed says so before that line).
    std::string filesLines(bool listed, bool report = true, int onlyExact = 0) const
    {
        const fs::path a = archive();
        return (a.empty() ? "" : "Архив для отмены изменений: " + a.string() + "\n") +
               (listed ? "Точный список скриншотов (UTF-8): " + exactList().string() + "\n" : "") +
               (onlyExact ? "Имён, которые есть только в точном списке: " + std::to_string(onlyExact) + "\n" : "") +
               (listed ? "Список скриншотов: " + file("bad_sreen.txt") + "\n" : "") +
               (report ? "Отчёт: " + file("report.txt") + "\n" : "") +
               (a.empty() || !report ? "" : "Отменить чистку: tk_corvane restore \"" + a.string() + "\"\n");
    }
};
