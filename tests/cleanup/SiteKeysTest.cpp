// Sites with foreign keys and triggers: what the server removes or rewrites on the cleanup's behalf
// is archived and restored, counted after the summary, and shown alike by the dry run; keys that
// would refuse a deletion and triggers stop the run before any change.
#include "CleanupTestSupport.h"

#include "cleanup/ArchiveRestore.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace
{
struct Shape {
    const char* label;
    std::vector<std::string> setup;
    TriggerPolicy triggers;
    RunStatus want;
    std::vector<std::uint64_t> counts; // the summary's numbers (Done)
    std::string keyLines;              // after the summary (Done), or what the refusal names
    bool restores;                     // the archive gives the site back exactly
};

const char* const kStatLink = "alter table tbl_stat add constraint fk_stat_link foreign key (LINKCODE) "
                              "references tbl_link (CODE) on delete ";
const char* const kTrigger = "create trigger tr_link_del after delete on tbl_link for each row "
                             "delete from tbl_stat where LINKCODE=OLD.CODE";
} // namespace

TEST(SiteKeys, CascadesAreArchivedAndBlockingKeysOrTriggersRefuseFirst)
{
    TK_REQUIRE_TEST_SERVER();
    // Links 101 and 102 name missing releases (pass 1); stat 201-203 hang on them, 204 on no link.
    // clang-format off
    const std::vector<Shape> shapes = {
        {"cascade two levels deep, into a table of the site's own",
         {std::string(kStatLink) + "cascade", "alter table site_clicks add constraint fk_clicks_stat foreign key "
          "(STATCODE) references tbl_stat (CODE) on delete cascade"},
         TriggerPolicy::Refuse, RunStatus::Done, {2, 1},
         "Удалено сервером по внешним ключам из tbl_stat: 3\nУдалено сервером по внешним ключам из site_clicks: 2\n",
         true},
        {"cascade into a parent table that an earlier pass has read",
         {"alter table tbl_base add column STATCODE int null, add constraint fk_base_stat foreign key (STATCODE) "
          "references tbl_stat (CODE) on delete cascade",
          "insert into tbl_base (CODE, WHOADD, STATCODE) values (11, 1, 204)",
          "insert into tbl_votes (CODE, BASECODE, USERCODE) values (500, 11, 1), (501, 10, 1)"},
         TriggerPolicy::Refuse, RunStatus::Done, {2, 4, 0, 1},
         "Удалено сервером по внешним ключам из tbl_base: 1\n", true},
        {"set null", {std::string(kStatLink) + "set null"}, TriggerPolicy::Refuse, RunStatus::Done, {2, 1},
         "Изменено сервером по внешним ключам в tbl_stat: 3\n", true},
        {"on update cascade from an authorship column",
         {"update tbl_link set WHOADD=77 where CODE=100", "insert into site_clicks values (400, 77)",
          "alter table site_clicks add constraint fk_credit foreign key (STATCODE) references tbl_link (WHOADD) "
          "on update cascade"},
         TriggerPolicy::Refuse, RunStatus::Done, {2, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
         "Изменено сервером по внешним ключам в site_clicks: 1\n", true},
        {"restrict, referenced", {std::string(kStatLink) + "restrict"}, TriggerPolicy::Refuse, RunStatus::Refused,
         {}, "проход «Удаляем ссылки раздач, которых уже нет» упёрся бы в ключ fk_stat_link", false},
        {"restrict, nothing referenced",
         {"delete from tbl_stat where CODE between 201 and 203", std::string(kStatLink) + "restrict"},
         TriggerPolicy::Refuse, RunStatus::Done, {2, 1}, "", true},
        {"trigger", {kTrigger}, TriggerPolicy::Refuse, RunStatus::Refused, {}, "tr_link_del (AFTER DELETE на tbl_link)",
         false},
        {"trigger allowed", {kTrigger}, TriggerPolicy::Allow, RunStatus::Done, {2, 1},
         "На таблицах, которые меняла чистка, есть триггеры (tr_link_del (AFTER DELETE на tbl_link)): "
         "архив для отмены хранит только изменения самой чистки.\n", false},
    };
    // clang-format on
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.label);
        TestDatabase t("keys");
        TempFolder folder("keys");
        t.exec("create table site_clicks (CODE int primary key, STATCODE int, key (STATCODE)) engine=InnoDB");
        t.exec("insert into tbl_user (CODE, LOGIN) values (1, 'a')");
        t.exec("insert into tbl_base (CODE, WHOADD) values (10, 1)");
        t.exec("insert into tbl_link (CODE, BASECODE, WHOADD) values (100, 10, 1), (101, 12, 1), (102, 13, 1)");
        t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (200, 100, 1), (201, 101, 1), (202, 101, 1), "
               "(203, 102, 1), (204, 999, 1)");
        t.exec("insert into site_clicks values (300, 201), (301, 203), (302, 200)");
        t.exec("SET foreign_key_checks=0"); // the site's orphans predate its keys
        for (const std::string& sql : s.setup)
            t.exec(sql);
        t.exec("SET foreign_key_checks=1");
        const auto before = dumpSite(t);

        RecordingWindow w(t.fields());
        OperationRunner runner(w);
        std::vector<std::uint64_t> counts = s.counts;
        counts.resize(18);
        const std::string summary = linesOf(summaryOf(counts));

        // The dry run meets what the run meets, and changes nothing.
        const RunOutcome preview = previewCleanup(runner, db::kPageRows, s.triggers);
        EXPECT_EQ(preview.status, s.want) << preview.report.text;
        EXPECT_EQ(dumpSite(t), before);
        if (s.want == RunStatus::Done && s.triggers == TriggerPolicy::Refuse) {
            EXPECT_NE(preview.report.text.find(summary + s.keyLines), std::string::npos) << preview.report.text;
        }

        const RunOutcome run = Command5_Click(runner, folder.slash(), db::kPageRows, s.triggers);
        EXPECT_EQ(run.status, s.want) << run.report.text;
        if (run.status != s.want)
            continue;
        if (s.want == RunStatus::Refused) {
            EXPECT_NE(run.report.text.find(s.keyLines), std::string::npos) << run.report.text;
            EXPECT_EQ(dumpSite(t), before);
            EXPECT_TRUE(folder.archive().empty());
            continue;
        }
        EXPECT_TRUE(run.report.text.starts_with("Чистка окончена\n" + summary + s.keyLines)) << run.report.text;
        EXPECT_NE(readFileBytes(folder.file("report.txt")).find(cp1251::fromUtf8(summaryOf(counts))),
                  std::string::npos);
        if (!s.restores)
            continue;
        cleanup::RestoreResult result;
        const RunOutcome restored = cleanup::restoreArchives(runner, {folder.archive().string()}, false, result);
        EXPECT_EQ(restored.status, RunStatus::Done) << restored.report.text;
        EXPECT_EQ(dumpSite(t), before);
    }
}

TEST(SiteKeys, RowsTheSiteAddsDuringTheRunAreArchivedWithWhatTheyHangOn)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("keys_race");
    TempFolder folder("keys_race");
    // 20000 links to missing releases, each with a download that goes with its link.
    t.exec("insert into tbl_user (CODE, LOGIN) values (1, 'a')");
    t.exec("insert into tbl_link (CODE, BASECODE, WHOADD) select seq, 100000 + seq, 1 from seq_1_to_20000");
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) select seq, seq, 1 from seq_1_to_20000");
    t.exec(std::string(kStatLink) + "cascade");
    // A job of the site's own adds downloads to those links for as long as the run lasts; once a
    // link is gone, its key refuses them.
    std::atomic<bool> stop{false};
    std::vector<int> added;
    std::atomic<int> written{0};
    std::thread writer([&] {
        db::Connection c = db::openSite(t.fields());
        std::minstd_rand pick(7);
        for (int code = 100000; !stop; ++code) {
            try {
                c.execute("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (" + std::to_string(code) + ", " +
                          std::to_string(1 + pick() % 20000) + ", 1)");
                added.push_back(code);
                ++written;
            } catch (const db::DbError&) {
            }
        }
    });
    RecordingWindow w(t.fields());
    // However fast the run, the job gets its turn: at the run's first caption changes, each between
    // two of its batches, the run waits (two seconds at the most) until the job has added a few rows.
    int turns = 0;
    w.onProcessEvents = [&] {
        if (++turns > 40)
            return;
        const int from = written;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (written < from + 5 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    OperationRunner runner(w);
    const RunOutcome run = Command5_Click(runner, folder.slash());
    w.onProcessEvents = {};
    stop = true;
    writer.join();
    ASSERT_EQ(run.status, RunStatus::Done) << run.report.text;
    EXPECT_EQ(t.count("tbl_link"), 0);
    ASSERT_GT(added.size(), 100u) << "the job wrote while the run went on";
    // Everything the server removed with the links is in the archive: all of it comes back.
    cleanup::RestoreResult result;
    const RunOutcome restored = cleanup::restoreArchives(runner, {folder.archive().string()}, false, result);
    EXPECT_EQ(restored.status, RunStatus::Done) << restored.report.text;
    EXPECT_EQ(t.count("tbl_link"), 20000);
    EXPECT_EQ(t.count("tbl_stat"), static_cast<std::int64_t>(20000 + added.size()));
}
