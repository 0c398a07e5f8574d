#include "support/TestDatabase.h"

#include "common/Cp1251.h"
#include "db/SiteConnection.h"
#include "ops/ConnectionTest.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>

TEST(SiteConnection, StringTakesFieldsExactlyAsTyped)
{
    struct Case {
        ConnectionFields f;
        std::string want;
    };
    const Case cases[] = {
        {{"localhost", "root", "", "corvane"},
         "driver={MySQL ODBC 3.51 Driver};server=localhost;uid=root;pwd=;database=corvane;stmt=SET NAMES 'cp1251'"},
        {{" host ", "a;b", "p=w;x", "база"},
         "driver={MySQL ODBC 3.51 Driver};server= host ;uid=a;b;pwd=p=w;x;database=база;stmt=SET NAMES 'cp1251'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(db::siteConnectionString(c.f), c.want);
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
    EXPECT_EQ(cs.front().text("a"), "cp1251");
    EXPECT_EQ(cs.front().text("b"), "cp1251");
    EXPECT_EQ(cs.front().text("r"), "cp1251");
    c->execute("insert into tbl_conf (PARAM, VALUESTR) values ('OFFLINEMES', 'Сайт закрыт на ремонт «до утра» №1')");
    // The server sees real Cyrillic letters, not bytes misread as another code page.
    EXPECT_EQ(t.scalar("select HEX(VALUESTR) from tbl_conf where PARAM='OFFLINEMES'"),
              "D1E0E9F220E7E0EAF0FBF220EDE020F0E5ECEEEDF220ABE4EE20F3F2F0E0BB20B931");
    EXPECT_EQ(c->query("select VALUESTR from tbl_conf").front().text("VALUESTR"), "Сайт закрыт на ремонт «до утра» №1");
    EXPECT_EQ(t.scalar("select CHAR_LENGTH(VALUESTR) from tbl_conf"), "34");
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
