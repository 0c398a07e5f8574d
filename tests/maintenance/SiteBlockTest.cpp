#include "maintenance/SiteBlock.h"
#include "cleanup/CleanupRun.h"
#include "common/SystemFiles.h"
#include "ops/ConnectionTestButton.h"
#include "ops/ServerFacts.h"
#include "ops/SiteGuard.h"
#include "support/RecordingWindow.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace
{
struct Site {
    explicit Site(const std::string& label)
        : db(label), window(db.fields()), runner(window), folder("block_" + db.name()), dir(folder.path),
          store(std::make_unique<SettingsStore>((dir / "store.reg").string()))
    {
    }
    std::string isWork() { return db.scalar("select VALUEINT from tbl_conf where PARAM='ISWORK'").value_or("NULL"); }

    TestDatabase db;
    RecordingWindow window;
    OperationRunner runner;
    TempDir folder;
    fs::path dir;
    std::unique_ptr<SettingsStore> store;
};
} // namespace

// A missing, NULL or empty message still blocks, and the stored copy is then empty.
TEST(SiteBlock, BlockAndUnblockSwitchTheSiteTheStoreAndTheLayout)
{
    TK_REQUIRE_TEST_SERVER();
    const std::string text = "Сайт закрыт: «профилактика» до 06:00, ёЁ №5";
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"('ISWORK', 1, NULL)", ""},
        {"('ISWORK', 1, NULL), ('OFFLINEMES', NULL, NULL)", ""},
        {"('ISWORK', 1, NULL), ('OFFLINEMES', 7, '')", ""},
        {"('ISWORK', 1, NULL), ('OFFLINEMES', NULL, '" + text + "')", text},
    };
    for (const auto& [rows, message] : cases) {
        SCOPED_TRACE(rows);
        Site s("block_unblock");
        ASSERT_EQ(s.db.scalar("select @@lower_case_table_names"), "0") << "this test needs case-sensitive names";
        if (!rows.empty())
            s.db.exec("insert into tbl_conf (PARAM, VALUEINT, VALUESTR) values " + rows);
        s.store->RegSave("temp\\offlinemes", "old copy");
        Command2_Click(s.runner, *s.store);
        EXPECT_EQ(s.db.count("tbl_conf", "PARAM='ISWORK' and VALUEINT<>0"), 0);
        EXPECT_EQ(s.store->RegLoad("temp\\offlinemes"), message);
        EXPECT_EQ(s.window.layout, ButtonLayout::Blocked);
        ASSERT_EQ(s.window.messages.size(), 1u);
        EXPECT_EQ(s.window.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(s.window.events.back(), "message:Блок поставлен") << "the layout switches before the message";
        EXPECT_TRUE(s.db.otherSessionsGone()) << "connection closed";

        Command3_Click(s.runner);
        EXPECT_EQ(s.window.layout, ButtonLayout::Ready);
        ASSERT_EQ(s.window.messages.size(), 2u);
        EXPECT_EQ(s.window.messages[1].text, "Блок снят");
        EXPECT_EQ(s.store->RegLoad("temp\\offlinemes"), message) << "unblock leaves the copy alone";
        if (!message.empty()) {
            EXPECT_EQ(s.isWork(), "1");
            EXPECT_EQ(s.db.scalar("select VALUESTR from tbl_conf where PARAM='OFFLINEMES'"), text)
                << "the message itself is never written";
        }
        EXPECT_TRUE(s.window.captions.empty()) << "block and unblock leave the caption alone";
    }
}

TEST(SiteBlock, ErrorsAfterTheOpenEndOnlyTheOperation)
{
    TK_REQUIRE_TEST_SERVER();
    // A store that cannot be written: the block is set, then the write fails.
    {
        Site s("block_store_fails");
        s.db.exec("insert into tbl_conf (PARAM, VALUEINT, VALUESTR) values ('ISWORK', 1, NULL), "
                  "('OFFLINEMES', NULL, 'x')");
        fs::create_directories(s.dir);
        std::ofstream(s.dir / "blocker") << "file";
        SettingsStore broken((s.dir / "blocker" / "store.reg").string());
        s.window.setCaption("caption before");
        Command2_Click(s.runner, broken);
        EXPECT_EQ(s.isWork(), "0") << "what ran stays done";
        EXPECT_EQ(s.window.layout, ButtonLayout::Ready) << "layout not switched";
        ASSERT_EQ(s.window.messages.size(), 1u);
        EXPECT_EQ(s.window.messages[0].icon, MessageIcon::Critical);
        // The system's own number for a file below a plain file (ENOTDIR; a path error on Windows).
        ASSERT_FALSE(
            sysfiles::WrittenFile::open((s.dir / "blocker" / "x").string(), sysfiles::WrittenFile::Mode::Replace));
        EXPECT_NE(s.window.messages[0].text.find(std::to_string(sysfiles::lastError())), std::string::npos)
            << s.window.messages[0].text;
        EXPECT_EQ(s.window.caption(), "caption before");
        EXPECT_TRUE(s.db.otherSessionsGone()) << "connection closed after the error";
        // The tool keeps working: the next press runs normally.
        Command2_Click(s.runner, *s.store);
        EXPECT_EQ(s.window.layout, ButtonLayout::Blocked);
    }
}

TEST(SiteBlock, OneRunAtATimeChangesADatabase)
{
    TK_REQUIRE_TEST_SERVER();
    Site s("block_locked");
    s.db.exec("insert into tbl_conf (PARAM, VALUEINT) values ('ISWORK', 1)");
    // Another run (here the test's own session) holds the database: block refuses at once, naming it.
    const std::string holder = s.db.scalar("select CONNECTION_ID()").value();
    ASSERT_EQ(s.db.scalar("select GET_LOCK(CONCAT('tk_corvane.', SHA1(DATABASE())), 0)"), "1");
    EXPECT_EQ(Command2_Click(s.runner, *s.store).status, RunStatus::Locked);
    EXPECT_EQ(s.isWork(), "1");
    ASSERT_EQ(s.window.messages.size(), 1u);
    EXPECT_NE(s.window.messages[0].text.find("соединение " + holder), std::string::npos) << s.window.messages[0].text;
    EXPECT_EQ(Command1_Click(s.runner).status, RunStatus::Done) << "the connection test changes nothing: no lock";
    s.db.exec("do RELEASE_LOCK(CONCAT('tk_corvane.', SHA1(DATABASE())))");

    // Two cleanups at once: the second, started while the first runs, refuses and deletes nothing;
    // the first runs to its end and counts the orphan once.
    s.db.exec("update tbl_conf set VALUEINT=0");
    s.db.exec("insert into tbl_link (CODE, BASECODE) values (1, 99)");
    RecordingWindow second(s.db.fields());
    OperationRunner secondRunner(second);
    const fs::path folder = s.dir / "files/";
    fs::create_directories(folder);
    RunStatus secondStatus = RunStatus::Done;
    s.window.onProcessEvents = [&] {
        if (s.window.captions.size() == 1)
            secondStatus = Command5_Click(secondRunner, folder.string()).status;
    };
    EXPECT_EQ(Command5_Click(s.runner, folder.string()).status, RunStatus::Done);
    EXPECT_EQ(secondStatus, RunStatus::Locked);
    EXPECT_EQ(s.db.count("tbl_link"), 0);
    EXPECT_NE(s.window.messages.back().text.find("Удалено ссылок раздач, которых нет: 1\n"), std::string::npos);
}

// The run gives its lock back on its own session, before that session ends: the server frees a
// closed session's locks only once it has noticed, and maintain's next step must find it free.
TEST(SiteBlock, TheRunGivesItsLockBackBeforeItsSessionEnds)
{
    TK_REQUIRE_TEST_SERVER();
    Site s("block_lock_back");
    const std::string isFree = "select IS_FREE_LOCK(CONCAT('tk_corvane.', SHA1(DATABASE())))";
    db::Connection c = db::openSite(s.db.fields());
    SiteGuard guard;
    ASSERT_EQ(guard.take(c, ServerFacts::read(c), s.db.fields()), std::nullopt);
    EXPECT_EQ(s.db.scalar(isFree), "0");
    guard.release(c);
    EXPECT_EQ(s.db.scalar(isFree), "1") << "the lock is still held by the open session";
}
