// The real executable, run headless against the test server.
#include "settings/SettingsStore.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

struct Result {
    int status = -1;
    std::string out, err;
};

// Runs tk_corvane with the arguments and extra environment, standard input from /dev/null.
Result run(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        const int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        ::unsetenv("TK_CORVANE_PASSWORD");
        for (const auto& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv{const_cast<char*>(TK_EXE)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(TK_EXE, argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    Result r;
    std::array<pollfd, 2> fds{{{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}}};
    int open = 2;
    while (open > 0 && ::poll(fds.data(), fds.size(), 60000) > 0) {
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class CommandLine : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_db = std::make_unique<TestDatabase>("cli");
        m_config = fs::temp_directory_path() / ("tk_cli_" + m_db->name());
        fs::create_directories(m_config);
        m_db->exec("insert into tbl_conf (PARAM, VALUEINT, VALUESTR) values ('ISWORK', 1, NULL), "
                   "('OFFLINEMES', NULL, 'Закрыто на ночь'), ('RAT_DOWN', 1, '1'), ('RAT_VOTES', 1, '1'), "
                   "('RAT_LINKS', 1, '1'), ('RAT_PERSONA', 1, '1'), ('RAT_ALTLINKS', 1, '1')");
        m_db->exec("insert into tbl_user (CODE, LOGIN) values (1, 'admin'), (2, 'Иван')");
        m_db->exec("insert into tbl_base (CODE, WHOADD) values (10, 2), (11, 9)");
        m_db->exec("insert into tbl_link (CODE, BASECODE, WHOADD) values (100, 10, 2), (101, 99, 2)");
        m_db->exec("insert into tbl_stat (LINKCODE, USERCODE) values (100, 1), (100, 2), (101, 1)");
    }
    void TearDown() override { fs::remove_all(m_config); }

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
        return run(args, env);
    }
    std::string isWork() { return m_db->scalar("select VALUEINT from tbl_conf where PARAM='ISWORK'").value_or("NULL"); }

    std::unique_ptr<TestDatabase> m_db;
    fs::path m_config;
};

} // namespace

TEST_F(CommandLine, EachCommandDoesWhatItsButtonDoes)
{
    Result r = tool({"test"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Соединение установлено\n");

    r = tool({"recount"});
    EXPECT_EQ(r.status, 3) << "the site works: refused";
    EXPECT_NE(r.err.find("ISWORK=1"), std::string::npos) << r.err;
    r = tool({"cleanup"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(m_db->count("tbl_link"), 2) << "nothing deleted while the site works";

    r = tool({"block"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Блок поставлен\n");
    EXPECT_EQ(isWork(), "0");
    ::setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
    EXPECT_EQ(SettingsStore::forCurrentUser().RegLoad("temp\\offlinemes"), "Закрыто на ночь");

    r = tool({"recount", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Рейтинги пересчитаны\n");
    EXPECT_EQ(r.err, "") << "--quiet silences the progress";
    EXPECT_EQ(m_db->scalar("select DOWN from tbl_link where CODE=100"), "2");

    r = tool({"cleanup"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Чистка окончена\nУдалено ссылок раздач, которых нет: 1\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Заменено авторство несуществующих пользователей на пользователя №1: 1\n"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 19);
    EXPECT_NE(r.err.find("Удаляем ссылки раздач, которых уже нет"), std::string::npos)
        << "progress goes to standard error";
    EXPECT_EQ(m_db->count("tbl_link"), 1);

    r = tool({"unblock"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Блок снят\n");
    EXPECT_EQ(isWork(), "1");
}

TEST_F(CommandLine, WrongPasswordChangesNothing)
{
    const Result r = tool({"block"}, {"TK_CORVANE_PASSWORD=wrong"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Access denied"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(isWork(), "1");
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
    ::setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
    const ConnectionFields f = m_db->fields();
    const SettingsStore store = SettingsStore::forCurrentUser();
    store.RegSave("temp\\text1", f.server);
    store.RegSave("temp\\text2", f.user);
    store.RegSave("temp\\text4", f.database);
    const Result r = run({"block"}, {"XDG_CONFIG_HOME=" + m_config.string(), "TK_CORVANE_PASSWORD=" + f.password});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(isWork(), "0");
}

TEST_F(CommandLine, MaintainStopsAtAFailedStepAndLeavesTheSiteBlocked)
{
    Result r = tool({"maintain", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(isWork(), "1");
    EXPECT_NE(r.out.find("Рейтинги пересчитаны"), std::string::npos);
    EXPECT_NE(r.out.find("Чистка окончена"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - std::string("Блок снят\n").size()), "Блок снят\n");

    // A coefficient that is no number stops the recount before any change; the cleanup never runs.
    m_db->exec("update tbl_conf set VALUESTR='0,5' where PARAM='RAT_DOWN'");
    m_db->exec("insert into tbl_link (CODE, BASECODE) values (102, 98)");
    r = tool({"maintain", "--quiet"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(isWork(), "0") << "left blocked";
    EXPECT_NE(r.err.find("RAT_DOWN"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("остаётся заблокированным"), std::string::npos) << r.err;
    EXPECT_EQ(m_db->count("tbl_link", "CODE=102"), 1) << "the cleanup did not run";
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
    EXPECT_EQ(run({"--version"}, {}).out, "tk_corvane v.1.0.10\n");
}
