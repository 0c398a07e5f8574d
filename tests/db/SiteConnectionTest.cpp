#include "support/TestDatabase.h"

#include "common/TextCodec.h"
#include "db/SiteConnection.h"
#include "ops/ConnectionTestButton.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>

TEST(SiteConnection, StringTakesFieldsExactlyAsTypedAndTlsAsSet)
{
    using db::TlsMode;
    const db::TlsSettings off{TlsMode::Off}, offered{}, files{TlsMode::Required, "/c a.pem", "", "c;1", "k", true};
    struct Case {
        ConnectionFields f;
        std::string want;
    };
    const std::string head = "driver={MySQL ODBC 3.51 Driver};server=", tail = ";stmt=SET NAMES 'cp1251'";
    const Case cases[] = {
        {{"localhost", "root", "", "corvane", off}, head + "localhost;uid=root;pwd=;database=corvane" + tail},
        {{"127.0.0.1:3320", " a", "a;b}{c=d", "ba;se ", off},
         head + "127.0.0.1;port=3320;uid={ a};pwd={a;b}}{c=d};database={ba;se }" + tail},
        {{"[::1]:3307", "u", "p=w", "база", off}, head + "::1;port=3307;uid=u;pwd=p=w;database=база" + tail},
        {{"host;port=3307", "u", "", "d", off, 3308}, head + "host;port=3307;uid=u;pwd=;database=d" + tail},
        {{"fe80::1", "u", "", "d", off, 3308}, head + "fe80::1;port=3308;uid=u;pwd=;database=d" + tail},
        {{"h", "u", "", "d", offered}, head + "h;uid=u;pwd=;database=d;FORCETLS=1" + tail},
        {{"h", "u", "", "d", files},
         head + "h;uid=u;pwd=;database=d;SSLVERIFY=1;SSLCA=/c a.pem;SSLCERT={c;1};SSLKEY=k" + tail},
    };
    for (const auto& c : cases)
        EXPECT_EQ(db::siteConnectionString(c.f), c.want) << c.f.server;
}

// A password and a database name holding ODBC's own punctuation, and the server as "host:port".
TEST(SiteConnection, AnyPasswordAndDatabaseNameReachTheServer)
{
    TK_REQUIRE_TEST_SERVER();
    const ConnectionFields base = testServerFields();
    const std::string port = base.server.substr(base.server.rfind('=') + 1);
    auto admin = db::openSite(base);
    admin.execute("CREATE DATABASE IF NOT EXISTS `tk;odd}{db` DEFAULT CHARACTER SET cp1251");
    for (const char* host : {"127.0.0.1", "localhost"}) {
        admin.execute(std::string("CREATE USER IF NOT EXISTS 'tk_punct'@'") + host + "' IDENTIFIED BY 'a;b}{c=d'");
        admin.execute(std::string("GRANT ALL ON `tk;odd}{db`.* TO 'tk_punct'@'") + host + "'");
    }
    std::optional<std::string> reached;
    try {
        reached = db::openSite({"127.0.0.1:" + port, "tk_punct", "a;b}{c=d", "tk;odd}{db"})
                      .query("SELECT CONCAT(SUBSTRING_INDEX(CURRENT_USER(), '@', 1), ' ', DATABASE()) AS r")
                      .front()
                      .text("r");
    } catch (const db::DbError& e) {
        ADD_FAILURE() << e.what();
    }
    admin.execute("DROP DATABASE `tk;odd}{db`");
    for (const char* host : {"127.0.0.1", "localhost"})
        admin.execute(std::string("DROP USER 'tk_punct'@'") + host + "'");
    EXPECT_EQ(reached, "tk_punct tk;odd}{db");
}

TEST(SiteConnection, SessionRunsInCp1251AndCyrillicSurvivesBothWays)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("conn_cp1251");
    RecordingWindow w(t.fields());
    auto c = OpenSiteConnection(w);
    ASSERT_TRUE(c.has_value());
    const auto cs = c->query("select @@character_set_client as a, @@character_set_connection as b, "
                             "@@character_set_results as r");
    // Statements travel as Unicode and reach the server in the driver's utf8mb4; literals and values
    // are cp1251.
    EXPECT_EQ(cs.front().text("a"), "utf8mb4");
    EXPECT_EQ(cs.front().text("b"), "cp1251");
    EXPECT_EQ(cs.front().text("r"), "cp1251");
    c->execute("insert into tbl_conf (PARAM, VALUESTR) values ('OFFLINEMES', 'Сайт закрыт на ремонт «до утра» №1')");
    // The server sees real Cyrillic letters, not bytes misread as another code page.
    EXPECT_EQ(t.scalar("select HEX(VALUESTR) from tbl_conf where PARAM='OFFLINEMES'"),
              "D1E0E9F220E7E0EAF0FBF220EDE020F0E5ECEEEDF220ABE4EE20F3F2F0E0BB20B931");
    EXPECT_EQ(c->query("select VALUESTR from tbl_conf").front().text("VALUESTR"), "Сайт закрыт на ремонт «до утра» №1");
    EXPECT_EQ(t.scalar("select CHAR_LENGTH(VALUESTR) from tbl_conf"), "34");
    // The driver names itself (through the wide call, also where a bridge passes it on): verified TLS
    // is offered only with a driver whose keywords are known.
    EXPECT_NE(c->driver().find("maodbc"), std::string::npos) << c->driver();
}

TEST(SiteConnection, FailuresShowOneCriticalBoxWithTheDriversText)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("conn_fail");
    struct Case {
        const char* label;
        ConnectionFields f;
        const char* needle;
    };
    ConnectionFields wrongPassword = t.fields();
    wrongPassword.password = "wrong";
    ConnectionFields noDatabase = t.fields();
    noDatabase.database = t.name() + "_missing";
    ConnectionFields unreachable = t.fields();
    unreachable.server = "127.0.0.1;port=1";
    const Case cases[] = {{"wrong password", wrongPassword, "Access denied"},
                          {"unknown database", noDatabase, "Unknown database"},
                          {"unreachable server", unreachable, "Can't connect"}};
    for (const auto& c : cases) {
        RecordingWindow w(c.f);
        OperationRunner runner(w);
        Command1_Click(runner);
        ASSERT_EQ(w.messages.size(), 1u) << c.label;
        EXPECT_EQ(w.messages[0].icon, MessageIcon::Critical) << c.label;
        EXPECT_NE(w.messages[0].text.find(c.needle), std::string::npos) << c.label << ": " << w.messages[0].text;
        EXPECT_TRUE(w.captions.empty()) << c.label;
    }
}

TEST(Cp1251, RoundTripsTheWholeCodePage)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        if (b != 0x98)
            all += static_cast<char>(b);
    EXPECT_EQ(cp1251::fromUtf8(cp1251::toUtf8(all)), all);
    EXPECT_EQ(cp1251::toUtf8("\xC0\xFF\xA8\xB8\xB9"), "АяЁё№");
    EXPECT_EQ(cp1251::fromUtf8("日本 ok"), "?? ok");
    EXPECT_EQ(cp1251::fromUtf8("\xFF\xFE"), "??");
}

TEST(Connection, WholeNumberListsComeInBlocksWithNullsAndFailOnText)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("conn_ints");
    // More rows than one block, NULLs at the block edges, negative and large values.
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) select seq, if(seq % 4096 = 0, NULL, cast(seq as signed) - "
           "5000), "
           "if(seq = 1, NULL, -seq * 200000) from seq_1_to_10000");
    const db::IntRows rows = t.conn().queryInts("select CODE, LINKCODE, USERCODE from tbl_stat order by CODE");
    ASSERT_EQ(rows.size(), 10000u);
    const std::size_t link = rows.column("linkcode"), user = rows.column("USERCODE");
    int nulls = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::int64_t code = static_cast<std::int64_t>(i) + 1;
        ASSERT_EQ(rows.at(i, 0), code);
        if (code % 4096 == 0) {
            EXPECT_FALSE(rows.at(i, link).has_value()) << code;
            ++nulls;
        } else {
            EXPECT_EQ(rows.at(i, link), code - 5000) << code;
        }
    }
    EXPECT_EQ(nulls, 2);
    EXPECT_FALSE(rows.at(0, user).has_value());
    EXPECT_EQ(rows.at(9999, user), -2000000000LL);
    EXPECT_TRUE(t.conn().queryInts("select CODE from tbl_stat where CODE < 0").empty());
    EXPECT_THROW(t.conn().queryInts("select 'текст' as x"), db::DbError);
}
