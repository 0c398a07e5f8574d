// Sites as they exist: columns of every type and character set, unsigned 64-bit codes, names no
// code page holds. What the cleanup deletes comes back byte for byte from its archive, through the
// plain client in a strict session or through the restore command; faults mid-run leave archives
// that replay cleanly.
#include "CleanupTestSupport.h"
#include "support/ChildProcess.h"

#include "cleanup/ArchiveRestore.h"
#include "cleanup/PassEngine.h"
#include "cleanup/SentChanges.h"
#include "cleanup/UndoArchive.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace
{
// Every column of the comment rows, in a form that shows each byte: hex for text and binary, the
// exact value of floats, text for the rest.
std::vector<std::string> comments(TestDatabase& t)
{
    return t.column(
        "select concat_ws('|', CODE, HEX(BODY), HEX(u8), HEX(l1), HEX(c1), HEX(bin4), HEX(vb), HEX(tb), HEX(bits), "
        "CAST(f AS DOUBLE), CAST(d AS CHAR), CAST(dc AS CHAR), CAST(dt AS CHAR), CAST(ts AS CHAR), "
        "CAST(tm AS CHAR), CAST(dz AS CHAR), y, HEX(e), HEX(st), HEX(js), ub, HEX(`odd``name`), "
        "HEX(`имя_名前`), HEX(hid), HEX(gen), HEX(big)) from tbl_comment order by CODE");
}

// A site whose comment and screenshot rows are all orphans, in every kind of column.
void fillExotic(TestDatabase& t)
{
    t.exec("alter table tbl_poster convert to character set utf8mb4");
    t.exec("alter table tbl_comment convert to character set utf8mb4, "
           "add u8 text character set utf8mb4, add l1 varchar(20) character set latin1, add c1 varchar(40) character "
           "set cp1251, add bin4 binary(4), "
           "add vb varbinary(300), add tb tinyblob, add bits bit(64), add f float, add d double, "
           "add dc decimal(30,10), add dt datetime(6), add ts timestamp(6) null, add tm time(3), add dz date, "
           "add y year, add e enum('а','b') character set utf8mb4, add st set('x','ё') character set utf8mb4, "
           "add js json, add ub bigint unsigned, add `odd``name` varchar(10), add `имя_名前` varchar(10), "
           "add hid varchar(10) invisible, add gen varchar(30) as (concat(l1, '!')) virtual, add big longtext");
    t.exec("insert into tbl_comment (CODE, BASECODE, BODY, u8, l1, c1, bin4, vb, tb, bits, f, d, dc, dt, ts, tm, dz, "
           "y, e, "
           "st, js, ub, `odd``name`, `имя_名前`, hid, big) values "
           "(1, 99, 'Ёжик', 'café 😀 Ελλάδα 日本', 'crème brûlée', 'Д''Артаньян «Ё» №5 \\\\', X'00FF80', "
           "X'00010280FEFF', X'FF', "
           "b'1111111111111111111111111111111111111111111111111111111111111111', 16777216, 0.1, "
           "12345678901234567890.0123456789, '2024-02-29 23:59:59.123456', '2024-03-31 02:30:00.5', '-838:59:59.999', "
           "'0000-00-00', 2155, 'а', 'x,ё', '{\"k\": [1, \"é\"]}', 18446744073709551615, 'a`b', 'ключ', 'скрыто', "
           "REPEAT('Ж😀', 400000)),"
           "(2, 98, NULL, NULL, NULL, NULL, NULL, '', NULL, b'0', 1e-30, 1.7976931348623157e308, -0.5, '0000-00-00 "
           "00:00:00', "
           "NULL, '00:00:00', NULL, 0, NULL, '', 'null', 0, NULL, NULL, NULL, '')");
    t.exec("insert into tbl_poster (CODE, BASECODE, POSTER, WHOADD) values (1, 99, '😀.jpg', NULL), "
           "(2, 99, '🎉.jpg', NULL), (3, 99, 'two\\nlines.jpg', NULL), (4, 99, NULL, NULL), (5, 99, '', NULL), "
           "(6, 99, 'кадр.jpg', NULL), (7, 99, '\\\\weird#.jpg', NULL)");
}

// The codes of each delete sent, by table.
using SentBatches = std::map<std::string, std::vector<std::vector<std::int64_t>>>;

// Behind the archive: whenever the archive passes a batch on, every row and value of it must already
// be in the file on disk; then the batch is sent (on a connection killed first, for batch killAt).
// Where the deletes read what they remove (returning), a batch is passed on when it commits.
struct Behind : cleanup::CleanupChanges {
    Behind(db::Connection& c, TestDatabase& t, const fs::path& folder, int killAt = 0, bool returning = false)
        : sent(c, returning), t(t), folder(folder), killAt(killAt)
    {
    }
    bool deletesReturning() const override { return sent.deletesReturning(); }
    std::vector<db::Rows> deleteReturning(std::string_view table, cleanup::CodeList codes,
                                          const std::string& list) override
    {
        uncommitted += std::ssize(codes.codes);
        sentBatches[std::string(table)].emplace_back(codes.codes.begin(), codes.codes.end());
        return sent.deleteReturning(table, codes, list);
    }
    void commitBatch() override
    {
        deleted += std::exchange(uncommitted, 0);
        EXPECT_GE(onDisk("INSERT INTO "), deleted);
        if (++batches == killAt)
            t.exec("KILL CONNECTION " + std::to_string(t.otherSessions().at(0)));
        sent.commitBatch();
    }
    void abandonBatch() noexcept override { sent.abandonBatch(); }
    std::int64_t onDisk(const std::string& head) const
    {
        std::istringstream in(readFileBytes(TempFolder::archiveIn(folder).string()));
        std::int64_t n = 0; // rows of multi-row INSERTs count one each: hex and numbers never hold "),("
        for (std::string line; std::getline(in, line);)
            if (line.starts_with(head))
                for (std::size_t at = 0; at != std::string::npos; at = line.find("),(", at + 1))
                    ++n;
        return n;
    }
    void deleteRows(std::string_view table, cleanup::CodeList codes, const cleanup::ServerChanges& follows) override
    {
        deleted += std::ssize(codes.codes);
        EXPECT_GE(onDisk("INSERT INTO "), deleted) << table;
        sentBatches[std::string(table)].emplace_back(codes.codes.begin(), codes.codes.end());
        if (++batches == killAt)
            t.exec("KILL CONNECTION " + std::to_string(t.otherSessions().at(0)));
        sent.deleteRows(table, codes, follows);
    }
    void replaceAuthor(std::string_view table, std::string_view column, cleanup::CodeList codes,
                       const std::string& first, const cleanup::ServerChanges& follows) override
    {
        replaced += std::ssize(codes.codes);
        EXPECT_GE(onDisk("UPDATE "), replaced) << table << "." << column;
        sent.replaceAuthor(table, column, codes, first, follows);
    }
    cleanup::SentChanges sent;
    TestDatabase& t;
    fs::path folder;
    int killAt, batches = 0;
    std::int64_t deleted = 0, replaced = 0, uncommitted = 0;
    SentBatches sentBatches;
};

// Runs the cleanup passes with the archive in front of behind; the summary's numbers.
std::vector<std::uint64_t> cleanThrough(TestDatabase& t, const TempFolder& folder, int killAt = 0,
                                        std::size_t pageRows = db::kPageRows, SentBatches* sent = nullptr,
                                        bool returning = false)
{
    RecordingWindow w(t.fields());
    auto c = OpenSiteConnection(w);
    std::vector<std::uint64_t> counts;
    {
        Behind behind(*c, t, folder.path, killAt, returning);
        cleanup::UndoArchive archive(*c, behind, folder.slash(), std::time(nullptr));
        cleanup::CollectedScreenshotNames names;
        for (const auto& line : cleanup::runCleanupPasses(*c, archive, names, w, pageRows).summary)
            counts.push_back(line.count);
        if (sent)
            *sent = behind.sentBatches;
    }
    // Whatever the connection sends next is on its own again.
    EXPECT_EQ(c->query("select @@in_transaction as t").front().text("t"), "0");
    return counts;
}

std::string client(const ConnectionFields& f, const std::string& session, const fs::path& file)
{
    return "mariadb " + clientArgs(f) + (session.empty() ? "" : " --init-command=\"" + session + "\"") + " < '" +
           hostPath(file.string()) + "' 2>&1";
}
} // namespace

TEST(ArchiveRoundTrip, EveryTypeAndCharacterSetComesBackExactly)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("arch_types");
    t.conn().useUtf8Session(true); // the test's own session holds every character too
    fillExotic(t);
    const auto before = comments(t);
    const auto site = dumpSite(t);
    TempFolder folder("types");
    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    ASSERT_EQ(Command5_Click(runner, folder.slash()).status, RunStatus::Done) << w.messages[0].text;
    ASSERT_EQ(t.count("tbl_comment"), 0);

    // Statements stay small: the 3 MB value went in parts.
    std::ifstream archive(folder.archive());
    for (std::string line; std::getline(archive, line);)
        ASSERT_LT(line.size(), 600u * 1024) << line.substr(0, 80);
    // The plain client, in a strict session in another time zone with the default packet size.
    const std::string strict = "SET SESSION sql_mode='STRICT_ALL_TABLES,NO_ZERO_DATE,NO_ZERO_IN_DATE,"
                               "NO_BACKSLASH_ESCAPES', time_zone='+05:00'";
    ASSERT_EQ(runOnHost(client(t.fields(), strict, folder.archive())), 0);
    EXPECT_EQ(comments(t), before);
    EXPECT_EQ(dumpSite(t), site);

    // Screenshot names: the exact list holds every one (escaped where it must be); bad_sreen.txt
    // keeps what cp1251 holds and points to the exact list for the rest.
    EXPECT_EQ(readFileBytes(folder.exactList().string()), "😀.jpg\n🎉.jpg\n\\etwo\\x0Alines.jpg\n\\N\n\n"
                                                          "кадр.jpg\n\\e\\\\weird#.jpg\n");
    const std::string exact = folder.exactList().string();
    EXPECT_EQ(
        readFileBytes(folder.file("bad_sreen.txt")),
        listBytes({std::nullopt, std::nullopt, std::nullopt, std::nullopt, "", "кадр.jpg", "\\weird#.jpg"}, exact));
    EXPECT_NE(w.messages[0].text.find("Имён, которые есть только в точном списке: 4\n"), std::string::npos);
}

TEST(ArchiveRoundTrip, RestoreCommandChecksAppliesNewestFirstAndRollsBack)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("arch_restore");
    TestDatabase other("arch_other");
    t.exec("insert into tbl_user (CODE, LOGIN) values (1, 'a')");
    t.exec("insert into tbl_link (CODE, BASECODE, WHOADD) values (1, 50, 7), (2, 51, 1)");
    t.exec("insert into tbl_base (CODE, WHOADD) values (60, 9)");
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) select seq, 1 + seq % 2, 1 from seq_1_to_3000");
    const auto site = dumpSite(t);
    TempFolder folder("restore");
    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    // The first run fails in its fourth pass (its table is away); the second finishes the job with
    // the authorship it left. Each leaves an archive.
    w.onProcessEvents = [&] {
        if (w.caption() == titleOf(3))
            t.exec("rename table tbl_votes to tbl_votes_gone");
    };
    EXPECT_EQ(Command5_Click(runner, folder.slash()).status, RunStatus::Failed);
    EXPECT_NE(w.messages.back().text.find("Выполненное до ошибки сохранено в базе."), std::string::npos);
    EXPECT_NE(w.messages.back().text.find("Архив для отмены изменений: "), std::string::npos);
    t.exec("rename table tbl_votes_gone to tbl_votes");
    w.onProcessEvents = nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // another second: another archive name
    EXPECT_EQ(Command5_Click(runner, folder.slash()).status, RunStatus::Done);
    std::vector<std::string> archives;
    for (const auto& e : fs::directory_iterator(folder.path))
        if (e.path().filename().string().starts_with("cleanup-undo-"))
            archives.push_back(e.path().string());
    ASSERT_EQ(archives.size(), 2u);
    std::sort(archives.begin(), archives.end()); // oldest first, as ls gives them
    EXPECT_NE(readFileBytes(archives[1]).find("-- previous unfinished run: " + archives[0]), std::string::npos);

    struct Case {
        const char* label;
        std::vector<std::string> files;
        bool dryRun;
        bool refused;
        bool restores;
    };
    const std::string damaged = folder.file("damaged.sql"), foreign = folder.file("foreign.sql");
    {
        const std::string whole = readFileBytes(archives[0]);
        std::ofstream(damaged, std::ios::binary) << whole.substr(0, whole.find("VALUES") + 20);
        std::string moved = readFileBytes(archives[0]);
        moved.replace(moved.find(t.name()), t.name().size(), other.name());
        std::ofstream(foreign, std::ios::binary) << moved;
    }
    const Case cases[] = {
        {"damaged archive", {archives[1], damaged}, false, true, false},
        {"another database's archive", {foreign}, false, true, false},
        {"dry run", archives, true, false, false},
        {"both archives, oldest named first", archives, false, false, true},
    };
    for (const Case& c : cases) {
        RecordingWindow rw(t.fields());
        OperationRunner rr(rw);
        cleanup::RestoreResult result;
        const RunOutcome o = cleanup::restoreArchives(rr, c.files, c.dryRun, result);
        EXPECT_EQ(o.status, RunStatus::Done) << c.label;
        EXPECT_EQ(result.refused, c.refused) << c.label << ": " << o.report.text;
        EXPECT_FALSE(result.failed) << c.label << ": " << o.report.text;
        EXPECT_EQ(dumpSite(t) == site, c.restores) << c.label << ": " << o.report.text;
        if (c.restores) { // the newest run first, whatever order the files were named in
            EXPECT_LT(o.report.text.find(archives[1]), o.report.text.find(archives[0])) << o.report.text;
        }
    }
    // Put back, each file says so, and is refused a second time before any change. A copy without
    // the mark finds its rows there already: the statement fails and everything rolls back.
    for (const bool marked : {true, false}) {
        RecordingWindow rw(t.fields());
        OperationRunner rr(rw);
        cleanup::RestoreResult again;
        if (!marked)
            for (const std::string& a : archives) {
                const std::string text = readFileBytes(a);
                std::ofstream(a, std::ios::binary) << text.substr(0, text.rfind("-- restored: "));
            }
        cleanup::restoreArchives(rr, archives, false, again);
        EXPECT_EQ(again.refused, marked);
        EXPECT_EQ(again.failed, !marked);
        EXPECT_NE(rw.messages[0].text.find(marked ? "уже восстановлен" : "откат"), std::string::npos);
        EXPECT_EQ(dumpSite(t), site);
    }
}

TEST(ArchiveRoundTrip, ConnectionKilledInADeleteLeavesAnArchiveThatReplaysCleanly)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("arch_killed");
    t.exec("insert into tbl_user (CODE, LOGIN) values (1, 'a')");
    const std::size_t batch = cleanup::kBatchChanges;
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) select seq, 900 + seq % 5, 1 from seq_1_to_" +
           std::to_string(batch * 5 / 2));
    const auto site = dumpSite(t);
    for (const bool returning : {false, true}) {
        SCOPED_TRACE(returning ? "the delete reads its rows, and its commit is lost" : "the delete is lost");
        TempFolder folder(returning ? "killed-commit" : "killed");
        // The third batch's delete (or its commit) is sent on a connection killed from another session.
        EXPECT_THROW(cleanThrough(t, folder, 3, db::kPageRows, nullptr, returning), db::DbError);
        EXPECT_EQ(t.count("tbl_stat"), batch / 2) << "two whole batches went";
        const std::string archive = readFileBytes(folder.archive().string());
        EXPECT_NE(archive.find("-- outcome unknown: tbl_stat "), std::string::npos) << "the third batch";
        ASSERT_EQ(runOnHost(client(t.fields(), "SET SESSION sql_mode='STRICT_ALL_TABLES'", folder.archive())), 0);
        EXPECT_EQ(dumpSite(t), site);
    }
}

TEST(ArchiveRoundTrip, LongRowsGoInBatchesThatHoldTheBoundAtTheMostAndComeBackWhole)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("arch_long");
    // Orphan comments, every third one long (60000 bytes, twice that as hex in its image), and
    // narrow orphan tags, more than one batch of them.
    constexpr std::uint64_t kLong = 60000;
    t.exec("insert into tbl_comment (CODE, BASECODE, BODY) select seq, 99, if(seq % 3 = 0, repeat('Щ', " +
           std::to_string(kLong) + "), concat('short ', seq)) from seq_1_to_600");
    const std::size_t tags = cleanup::kBatchChanges + 500;
    t.exec("insert into tbl_tags (CODE, BASECODE, TAG) select seq, 99, 'tag' from seq_1_to_" + std::to_string(tags));
    const auto site = dumpSite(t);
    TempFolder folder("long");
    SentBatches sent;
    cleanThrough(t, folder, 0, db::kPageRows, &sent, true);
    ASSERT_EQ(t.count("tbl_comment"), 0);

    const auto& comments = sent["tbl_comment"];
    std::size_t rows = 0;
    for (const auto& batch : comments) {
        const auto longRows = std::ranges::count_if(batch, [](std::int64_t code) { return code % 3 == 0; });
        EXPECT_LE(static_cast<std::uint64_t>(longRows) * 2 * kLong, cleanup::kBatchImageBytes) << batch.front();
        rows += batch.size();
    }
    EXPECT_EQ(rows, 600u);
    EXPECT_GE(comments.size(), 200 * 2 * kLong / cleanup::kBatchImageBytes + 1);
    // Rows whose columns cannot hold much go in batches as large as ever.
    ASSERT_EQ(sent["tbl_tags"].size(), 2u);
    EXPECT_EQ(sent["tbl_tags"][0].size(), cleanup::kBatchChanges);

    ASSERT_EQ(runOnHost(client(t.fields(), "", folder.archive())), 0);
    EXPECT_EQ(dumpSite(t), site);
}

TEST(ArchiveRoundTrip, UnsignedCodesPastTheSignedRange)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("arch_unsigned");
    t.exec("alter table tbl_user modify CODE bigint unsigned not null");
    t.exec("alter table tbl_stat modify CODE bigint unsigned not null auto_increment, modify USERCODE bigint unsigned");
    t.exec("alter table tbl_base modify WHOADD bigint unsigned");
    t.exec("insert into tbl_user (CODE, LOGIN) values (9223372036854775813, 'a'), (18446744073709551615, 'b')");
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (18446744073709551614, NULL, 18446744073709551615), "
           "(18446744073709551613, NULL, 9223372036854775814), (1, NULL, 5)");
    t.exec("insert into tbl_base (CODE, WHOADD) values (1, 9223372036854775816), (2, 18446744073709551615)");
    // A signed column's -1 has the bits of the largest unsigned code, and still names nobody.
    t.exec("insert into tbl_comment (CODE, BASECODE, WHOADD) values (1, NULL, -1)");
    const auto site = dumpSite(t);
    TempFolder folder("unsigned");
    // Pages of one row: each page starts after a code past the signed range.
    const auto counts = cleanThrough(t, folder, 0, 1);
    // The missing users' rows go and nothing else; the first user is the smallest unsigned code.
    EXPECT_EQ(t.column("select CODE from tbl_stat"), std::vector<std::string>{"18446744073709551614"});
    EXPECT_EQ(t.column("select concat(CODE, ':', WHOADD) from tbl_base order by CODE"),
              (std::vector<std::string>{"1:9223372036854775813", "2:18446744073709551615"}));
    EXPECT_EQ(counts, (std::vector<std::uint64_t>{0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    ASSERT_EQ(runOnHost(client(t.fields(), "", folder.archive())), 0);
    EXPECT_EQ(dumpSite(t), site);
}

TEST(ArchiveRoundTrip, ALockHeldElsewhereEndsTheRunWithinItsBound)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("arch_lockwait");
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (1, 5, 5)");
    db::Connection holder = db::openSite(t.fields());
    holder.execute("LOCK TABLES tbl_stat WRITE");
    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    runner.setLockWait(4);
    TempFolder folder("lockwait");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Command5_Click(runner, folder.slash()).status, RunStatus::Failed);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(4 + 4));
    EXPECT_EQ(w.waits, (std::vector<int>{3, 0})) << "reported after 3 s, then over";
    EXPECT_GE(w.keptAlive, 30) << "the window ran its events all through the wait";
    EXPECT_NE(w.messages[0].text.find("Lock wait timeout"), std::string::npos) << w.messages[0].text;
    EXPECT_NE(w.messages[0].text.find("Ничего не изменено"), std::string::npos) << w.messages[0].text;
    holder.execute("UNLOCK TABLES");
    EXPECT_EQ(t.count("tbl_stat"), 1);
}

TEST(ArchiveRoundTrip, ABatchInDoubtPutsBackOnlyWhatIsGoneAndNeverOverAnotherRow)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("arch_doubt");
    t.exec("alter table tbl_stat add unique key uq_stat (LINKCODE, USERCODE)");
    t.exec("insert into tbl_user (CODE, LOGIN) values (1, 'a')");
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (5, 900, 1), (7, 901, 1), (8, 902, 1)");
    const auto site = dumpSite(t);
    TempFolder folder("doubt");
    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    ASSERT_EQ(Command5_Click(runner, folder.slash()).status, RunStatus::Done) << w.messages.back().text;
    ASSERT_EQ(t.count("tbl_stat"), 0);
    // The batch as a run leaves it when the server's answer to its DELETE was lost.
    std::string text = readFileBytes(folder.archive().string());
    const std::size_t insert = text.find("INSERT INTO `tbl_stat` (`CODE`,");
    ASSERT_NE(insert, std::string::npos) << text;
    text.insert(text.find(";\n", insert), " ON DUPLICATE KEY UPDATE `CODE`=`CODE`");
    const std::size_t start = text.rfind("START TRANSACTION;\n", insert);
    ASSERT_NE(start, std::string::npos) << text;
    text.insert(start, "-- outcome unknown: tbl_stat 5\n");
    const std::string doubt = folder.file("doubt.sql");
    std::ofstream(doubt, std::ios::binary) << text;

    // Row 7 is there (the batch did run, and rows went since); row 9 holds row 5's unique values.
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (7, 901, 1), (9, 900, 1)");
    const auto taken = dumpSite(t);
    cleanup::RestoreResult collided, restored;
    const RunOutcome o = cleanup::restoreArchives(runner, {doubt}, false, collided);
    EXPECT_TRUE(collided.failed) << o.report.text;
    EXPECT_NE(o.report.text.find("Таблица tbl_stat, уникальный ключ uq_stat: восстанавливаемая строка (CODE=5, "
                                 "LINKCODE=900, USERCODE=1) совпала бы с другой строкой (CODE=9, LINKCODE=900, "
                                 "USERCODE=1)"),
              std::string::npos)
        << o.report.text;
    EXPECT_EQ(dumpSite(t), taken) << "nothing changed, row 5 not dropped in silence";
    // Without the other row: row 7 counts as back, rows 5 and 8 go back.
    t.exec("delete from tbl_stat where CODE=9");
    EXPECT_EQ(cleanup::restoreArchives(runner, {doubt}, false, restored).status, RunStatus::Done);
    EXPECT_FALSE(restored.failed) << w.messages.back().text;
    EXPECT_EQ(dumpSite(t), site);
}
