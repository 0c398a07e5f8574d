// The real executable, run headless against the test server.
#include "RunTool.h"
#include "common/ProductInfo.h"
#include "common/TextCodec.h"
#include "settings/SettingsStore.h"
#include "support/ScopedEnv.h"
#include "support/TestDatabase.h"

#include <QByteArray>
#include <QString>
#include <QSysInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

namespace fs = std::filesystem;

namespace
{

class CommandLine : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        TK_REQUIRE_TEST_SERVER();
        m_db = std::make_unique<TestDatabase>("cli");
        m_config = fs::temp_directory_path() / ("tk_cli_" + m_db->name());
        fs::create_directories(m_config / "bin");
        m_exe = m_config / "bin" / fs::path(TK_EXE).filename();
        fs::copy_file(TK_EXE, m_exe);
        fillSmallSite(*m_db);
    }
    void TearDown() override
    {
        if (!m_config.empty())
            fs::remove_all(m_config);
    }

    // The connection options for the test database, and the password through the environment.
    Result tool(std::vector<std::string> args, std::vector<std::string> env = {})
    {
        const ConnectionFields f = m_db->fields();
        for (const std::string& a :
             {std::string("--server=") + f.server, "--user=" + f.user, "--database=" + f.database})
            args.push_back(a);
        env.push_back("XDG_CONFIG_HOME=" + m_config.string());
        if (std::none_of(env.begin(), env.end(),
                         [](const std::string& e) { return e.rfind("TK_CORVANE_PASSWORD", 0) == 0; }))
            env.push_back("TK_CORVANE_PASSWORD=" + f.password);
        return run(args, env, m_exe.string());
    }
    // The files in the executable's folder, with their contents.
    std::map<std::string, std::string> appFolderFiles() const
    {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(m_exe.parent_path()))
            if (e.path() != m_exe)
                files[e.path().filename().string()] = readFileBytes(e.path().string());
        return files;
    }
    std::string isWork() { return m_db->scalar("select VALUEINT from tbl_conf where PARAM='ISWORK'").value_or("NULL"); }

    std::unique_ptr<TestDatabase> m_db;
    fs::path m_config;
    fs::path m_exe;
};

} // namespace

TEST_F(CommandLine, EachCommandDoesWhatItsButtonDoes)
{
    Result r = tool({"test"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Соединение установлено\nСоединение не зашифровано.\n");

    r = tool({"recount"});
    EXPECT_EQ(r.status, 3) << "the site works: refused";
    EXPECT_NE(r.err.find("ISWORK=1"), std::string::npos) << r.err;
    r = tool({"cleanup"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(m_db->count("tbl_link"), 2) << "nothing deleted while the site works";

    r = tool({"block"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Блок поставлен\n");

    r = tool({"recount", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Рейтинги пересчитаны\n");
    EXPECT_EQ(r.err, "") << "--quiet silences the progress";
    EXPECT_EQ(m_db->scalar("select DOWN from tbl_link where CODE=100"), "2");

    r = tool({"cleanup"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Чистка окончена\nУдалено ссылок раздач, которых нет: 1\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Заменено авторство несуществующих пользователей на пользователя №1: 1\n"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 22)
        << "the closing lines, the archive's, the report's and how to undo";
    // The closing message tells how to put the run back: the restore command with the archive's path.
    const std::string archiveLine = "Архив для отмены изменений: ";
    const std::size_t archiveAt = r.out.find(archiveLine);
    ASSERT_NE(archiveAt, std::string::npos) << r.out;
    const std::string archivePath =
        r.out.substr(archiveAt + archiveLine.size(), r.out.find('\n', archiveAt) - archiveAt - archiveLine.size());
    EXPECT_TRUE(r.out.ends_with("Отменить чистку: tk_corvane restore \"" + archivePath + "\"\n")) << r.out;
    EXPECT_NE(r.out.find("Отчёт: " + (m_exe.parent_path() / "report.txt").string() + "\n"), std::string::npos);
    EXPECT_NE(r.err.find("Удаляем ссылки раздач, которых уже нет"), std::string::npos)
        << "progress goes to standard error";
    EXPECT_EQ(m_db->count("tbl_link"), 1);
    // The window's undo list, as text: the run's archive, what it puts back, not yet put back.
    r = tool({"archives"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("  удалено строк: 2, заменено значений: 1  не восстановлен  " +
                         (m_exe.parent_path() / "cleanup-undo-").string()),
              std::string::npos)
        << r.out;

    // A report that cannot be written: refused before anything changes, with a failing status. Under
    // a cp1251 locale the message, the system's error text included, reaches the terminal in cp1251.
    m_db->exec("insert into tbl_link (CODE, BASECODE) values (102, 98)");
    fs::remove(m_exe.parent_path() / "report.txt");
    fs::create_directory(m_exe.parent_path() / "report.txt");
    const bool cp1251Locale = std::setlocale(LC_ALL, "ru_RU.CP1251") != nullptr;
    std::setlocale(LC_ALL, "C");
    if (!cp1251Locale)
        std::cout << "[ SKIPPED  ] no ru_RU.CP1251 locale here: the cp1251 terminal not tried\n";
    r = tool({"cleanup", "--quiet"}, {cp1251Locale ? "LC_ALL=ru_RU.CP1251" : "LC_ALL=C"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(m_db->count("tbl_link", "CODE=102"), 1);
    const std::string err = cp1251Locale ? cp1251::toUtf8(r.err) : r.err;
    EXPECT_NE(err.find("нельзя перезаписать " + (m_exe.parent_path() / "report.txt").string() + ": "),
              std::string::npos)
        << err;
    if (cp1251Locale && fs::exists("/usr/share/locale/ru/LC_MESSAGES/libc.mo")) {
        EXPECT_NE(err.find("Это каталог"), std::string::npos) << err;
    }

    r = tool({"unblock"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Блок снят\n");
}

TEST_F(CommandLine, PasswordNeverFromTheCommandLine)
{
    for (const char* form : {"--password=x", "--password", "-p"}) {
        const Result r = tool({"block", form, "x"});
        EXPECT_EQ(r.status, 64) << form;
    }
    EXPECT_EQ(isWork(), "1");
    // From a file instead: the first line, without its line end.
    const fs::path file = m_config / "pw";
    std::ofstream(file) << m_db->fields().password << "\r\nsecond line\n";
    const Result r = tool({"block", "--password-file", file.string()}, {"TK_CORVANE_PASSWORD"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(isWork(), "0");
    // Without variable, file or terminal the password is empty, which this account refuses.
    EXPECT_EQ(tool({"test"}, {"TK_CORVANE_PASSWORD"}).status, 1);
}

TEST_F(CommandLine, FieldsDefaultToWhatTheWindowStored)
{
    const ScopedEnv config("XDG_CONFIG_HOME", m_config.string());
    const ConnectionFields f = m_db->fields();
    const SettingsStore store = SettingsStore::forCurrentUser();
    store.RegSave("temp\\text1", f.server);
    store.RegSave("temp\\text2", f.user);
    store.RegSave("temp\\text4", f.database);
    const Result r = run({"block"}, {"XDG_CONFIG_HOME=" + m_config.string(), "TK_CORVANE_PASSWORD=" + f.password});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(isWork(), "0");
}

TEST_F(CommandLine, MaintainCleansBeforeItRecountsAndStopsAtAFailedStep)
{
    // Link 101 points to a missing release; its download by user 1 goes with it, so the counters
    // must be those of the rows the cleanup left.
    Result r = tool({"maintain", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(isWork(), "1");
    ASSERT_NE(r.out.find("Рейтинги пересчитаны"), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("Чистка окончена"), r.out.find("Рейтинги пересчитаны")) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - std::string("Блок снят\n").size()), "Блок снят\n");
    const auto counted = [this] {
        auto site = dumpSite(*m_db);
        std::erase_if(site, [](const auto& table) { return table.first == "tbl_conf"; });
        return site;
    };
    const auto afterMaintain = counted();
    ASSERT_EQ(tool({"block", "--quiet"}).status, 0);
    ASSERT_EQ(tool({"recount", "--quiet"}).status, 0);
    EXPECT_EQ(counted(), afterMaintain) << "a recount of the final rows changes no counter";
    ASSERT_EQ(tool({"unblock", "--quiet"}).status, 0);

    // A coefficient that is no number stops the recount, after the cleanup did its work.
    m_db->exec("update tbl_conf set VALUESTR='0,5' where PARAM='RAT_DOWN'");
    m_db->exec("insert into tbl_link (CODE, BASECODE) values (102, 98)");
    r = tool({"maintain", "--quiet"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(isWork(), "0") << "left blocked";
    EXPECT_NE(r.err.find("RAT_DOWN"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Шаг recount не выполнен: сайт остаётся заблокированным"), std::string::npos) << r.err;
    EXPECT_EQ(m_db->count("tbl_link", "CODE=102"), 0) << "the cleanup ran first";

    // A cleanup refused (a trigger on a table it changes) stops the run before the recount.
    m_db->exec("update tbl_conf set VALUESTR='1' where PARAM='RAT_DOWN'");
    m_db->exec("insert into tbl_link (CODE, BASECODE) values (103, 98)");
    m_db->exec("create trigger tr_cli_link after delete on tbl_link for each row set @gone = old.CODE");
    r = tool({"maintain", "--quiet"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(isWork(), "0");
    EXPECT_NE(r.err.find("Шаг cleanup не выполнен"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Рейтинги пересчитаны"), std::string::npos) << r.out;
    EXPECT_EQ(m_db->count("tbl_link", "CODE=103"), 1);
}

TEST_F(CommandLine, UsageErrors)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{},
                                                                                      {"frobnicate"},
                                                                                      {"test", "extra"},
                                                                                      {"test", "--server"},
                                                                                      {"block", "--dry-run"},
                                                                                      {"test", "--bogus"}}) {
        std::vector<std::string> env{"XDG_CONFIG_HOME=" + m_config.string()};
        const Result r = args.empty() ? run({"--server=x"}, env) : run(args, env);
        EXPECT_EQ(r.status, 64) << (args.empty() ? "no command" : args[0]);
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
    EXPECT_EQ(run({"--version"}, {}).out, std::string(kProductVersionLine) + "\n");
    // No command and no display (an X11 or Wayland desktop only: Windows always has one): one line
    // saying so, and a failing status rather than an abort.
    if (QSysInfo::productType() != QLatin1String("windows")) {
        const Result noDisplay = run({}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        EXPECT_EQ(noDisplay.status, 1);
        EXPECT_EQ(noDisplay.err,
                  "tk_corvane: no display to open the window on; run a command instead (tk_corvane --help)\n");
    }
}

TEST_F(CommandLine, DryRunTouchesNothing)
{
    m_db->exec("insert into tbl_poster (CODE, BASECODE, POSTER, WHOADD) values (1, 99, 'кадр.jpg', 1), "
               "(2, 10, 'ok.jpg', 1), (3, 98, NULL, 1)");
    ASSERT_EQ(tool({"block", "--quiet"}).status, 0);
    writeCp1251File((m_exe.parent_path() / "report.txt").string(), "прежний отчёт");
    const auto filesBefore = appFolderFiles();
    const auto before = dumpSite(*m_db);

    const Result dry = tool({"cleanup", "--dry-run", "--quiet"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dumpSite(*m_db), before) << "a dry run changes nothing";
    EXPECT_EQ(appFolderFiles(), filesBefore) << "a dry run writes no file";
    const std::string head = "Пробный прогон: база не изменена, файлы не записаны\n";
    ASSERT_EQ(dry.out.rfind(head, 0), 0u) << dry.out;
    const std::string tail = "Скриншоты, которые попали бы в список bad_sreen.txt: 2\nкадр.jpg\n\\N\n";
    ASSERT_TRUE(dry.out.ends_with(tail)) << dry.out;

    // maintain --dry-run names its steps in their order, then the same look; the site stays as
    // blocked as it was.
    EXPECT_EQ(tool({"maintain", "--dry-run", "--quiet"}).out,
              "Шаги maintain: block, cleanup, recount, unblock; чистка сейчас:\n" + dry.out);
    EXPECT_EQ(isWork(), "0");
}
