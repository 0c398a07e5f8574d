// The real window, offscreen, driven by real clicks and focus changes.
#include "app/Form1.h"
#include "app/ArchivesDialog.h"
#include "app/Artwork.h"
#include "app/ConnectionSettingsDialog.h"
#include "common/SystemFiles.h"
#include "support/ChildProcess.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace
{

struct SeenBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Answers every message box the window opens with OK, remembering what it said.
class BoxAnswerer
{
  public:
    BoxAnswerer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes.push_back({box->icon(), box->windowTitle(), box->text()});
                QAbstractButton* answer =
                    box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok) : box->button(QMessageBox::Yes);
                QTest::mouseClick(answer, Qt::LeftButton);
            }
        });
        m_timer.start(10);
    }
    std::vector<SeenBox> boxes;

  private:
    QTimer m_timer;
};

// Types the fields into the window as a user would leave them.
void fillFields(QWidget& w, const ConnectionFields& f)
{
    const std::pair<const char*, const std::string*> fields[] = {
        {"Text1", &f.server}, {"Text2", &f.user}, {"Text3", &f.password}, {"Text4", &f.database}};
    for (const auto& [name, text] : fields)
        w.findChild<QLineEdit*>(name)->setText(QString::fromStdString(*text));
}

class Form1Test : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("tk_form_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        m_store = (m_dir / "store.reg").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::unique_ptr<Form1> startWindow(const std::string& folder = "/opt/tk corvane/")
    {
        auto w = std::make_unique<Form1>(SettingsStore(m_store), folder);
        w->startUp();
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return w;
    }

    std::string storeText() const
    {
        std::ifstream in(m_store, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    template <class T> static T* child(QWidget& w, const char* name)
    {
        T* c = w.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    static std::string enabledButtons(QWidget& w)
    {
        std::string out;
        for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command5"})
            out += w.findChild<QPushButton*>(name)->isEnabled() ? '1' : '0';
        return out;
    }

    fs::path m_dir;
    std::string m_store;
};

} // namespace

TEST_F(Form1Test, FirstStartShowsDefaultsAndRemembersTheFolder)
{
    auto w = startWindow();
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8(kProductCaption.data(), kProductCaption.size()));
    EXPECT_EQ(child<QLineEdit>(*w, "Text1")->text(), "localhost");
    EXPECT_EQ(child<QLineEdit>(*w, "Text2")->text(), "root");
    EXPECT_EQ(child<QLineEdit>(*w, "Text3")->text(), "");
    // Every typed character shows as '*', whatever the style would draw.
    child<QLineEdit>(*w, "Text3")->setText("ab1");
    EXPECT_EQ(child<QLineEdit>(*w, "Text3")->displayText(), "***");
    child<QLineEdit>(*w, "Text3")->clear();
    // Captions faster than a screen refreshes: the window reports the latest, and has it on screen by
    // the next time a running statement lets it run its events.
    for (int i = 1; i <= 1000; ++i)
        w->showProgress(std::to_string(i) + "/1000 - X");
    EXPECT_EQ(w->caption(), "1000/1000 - X");
    w->keepAlive();
    EXPECT_EQ(w->windowTitle(), "1000/1000 - X");
    // A statement waiting for a lock says so in the caption, in front of the progress, until it ends.
    w->showProgress("5/7 - X");
    w->statementWaiting(3);
    w->statementWaiting(13);
    EXPECT_EQ(w->windowTitle(), "ждём блокировку (13 с): 5/7 - X");
    w->statementWaiting(0);
    EXPECT_EQ(w->windowTitle(), "5/7 - X");
    // The window wears the product's own icon.
    EXPECT_EQ(w->windowIcon().pixmap(32).toImage(), productPixmap(32).toImage());
    EXPECT_EQ(child<QLineEdit>(*w, "Text4")->text(), "corvane");
    EXPECT_EQ(SettingsStore(m_store).RegLoad("temp\\path"), "/opt/tk corvane/");
    EXPECT_EQ(enabledButtons(*w), "11000") << "Ready layout";
    EXPECT_EQ(w->size(), Form1::kClientSize);
    EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "fixed size";
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);

    // Focus starts on the test button and Tab walks the fields, then the operations.
    EXPECT_EQ(QApplication::focusWidget(), child<QPushButton>(*w, "Command1"));
    w->setButtonLayout(ButtonLayout::Blocked); // so that every button takes part in the walk
    child<QPushButton>(*w, "Command2")->setEnabled(true);
    std::vector<QString> order;
    for (int i = 0; i < 9; ++i) {
        order.push_back(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const std::vector<QString> want{"Command1", "Text1",    "Text2",    "Text3",   "Text4",
                                    "Command2", "Command3", "Command4", "Command5"};
    EXPECT_EQ(order, want);
}

TEST_F(Form1Test, LeavingAFieldSavesItEvenEmptyButNotThePassword)
{
    auto w = startWindow();
    auto* text1 = child<QLineEdit>(*w, "Text1");
    auto* text2 = child<QLineEdit>(*w, "Text2");
    auto* text3 = child<QLineEdit>(*w, "Text3");
    auto* text4 = child<QLineEdit>(*w, "Text4");

    text1->setFocus();
    text1->selectAll();
    QTest::keyClicks(text1, "127.0.0.1;port=3307");
    QTest::keyClick(text1, Qt::Key_Tab);
    EXPECT_EQ(SettingsStore(m_store).RegLoad("temp\\text1"), "127.0.0.1;port=3307");

    text2->selectAll();
    QTest::keyClick(text2, Qt::Key_Delete);
    QTest::keyClick(text2, Qt::Key_Tab);
    EXPECT_NE(storeText().find("\"text2\"=\"\""), std::string::npos) << "empty text stored";

    QTest::keyClicks(text3, "s3cr3t");
    text3->insert("-пароль");
    QTest::keyClick(text3, Qt::Key_Tab);
    QTest::keyClick(text4, Qt::Key_End);
    QTest::keyClicks(text4, "_2");
    // A click on a button moves the focus, so the field is saved before the button acts.
    BoxAnswerer answers;
    QTest::mouseClick(child<QPushButton>(*w, "Command2"), Qt::LeftButton);
    EXPECT_EQ(SettingsStore(m_store).RegLoad("temp\\text4"), "corvane_2");
    EXPECT_EQ(storeText().find("s3cr3t"), std::string::npos) << "password never stored";

    // The next start restores them (and the emptied one falls back to its initial text); a password
    // slipped into the store is never read.
    w.reset();
    SettingsStore(m_store).RegSave("temp\\text3", "should not be read");
    auto again = startWindow();
    EXPECT_EQ(child<QLineEdit>(*again, "Text1")->text(), "127.0.0.1;port=3307");
    EXPECT_EQ(child<QLineEdit>(*again, "Text2")->text(), "root");
    EXPECT_EQ(child<QLineEdit>(*again, "Text3")->text(), "");
    EXPECT_EQ(child<QLineEdit>(*again, "Text4")->text(), "corvane_2");
}

TEST_F(Form1Test, ButtonsSwitchLayoutsOnlyWhenTheOperationSucceeds)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase db("form_layouts");
    db.exec("insert into tbl_conf (PARAM, VALUEINT, VALUESTR) values ('ISWORK', 1, NULL), "
            "('OFFLINEMES', NULL, 'Закрыто')");
    auto w = startWindow();
    const ConnectionFields f = db.fields();
    fillFields(*w, f);
    child<QLineEdit>(*w, "Text3")->setText("wrong");
    BoxAnswerer answers;

    QTest::mouseClick(child<QPushButton>(*w, "Command2"), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_EQ(answers.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(answers.boxes[0].title, "tk_corvane");
    EXPECT_EQ(enabledButtons(*w), "11000") << "a failed connection changes nothing";

    child<QLineEdit>(*w, "Text3")->setText(QString::fromStdString(f.password));
    QTest::mouseClick(child<QPushButton>(*w, "Command1"), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 2u);
    EXPECT_EQ(answers.boxes[1].icon, QMessageBox::Information);
    EXPECT_EQ(answers.boxes[1].text, "Соединение установлено\nСоединение не зашифровано.");

    // What block and unblock do to the site is the block's own test; here: the layouts.
    QTest::mouseClick(child<QPushButton>(*w, "Command2"), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 3u);
    EXPECT_EQ(enabledButtons(*w), "10111") << "Blocked layout";
    QTest::mouseClick(child<QPushButton>(*w, "Command3"), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 4u);
    EXPECT_EQ(enabledButtons(*w), "11000");
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8(kProductCaption.data(), kProductCaption.size()));
}

TEST_F(Form1Test, FailedSettingsWriteIsShownAndTheWindowGoesOn)
{
    fs::create_directories(m_dir);
    std::ofstream(m_dir / "blocker") << "a file where a folder should be";
    m_store = (m_dir / "blocker" / "store.reg").string();
    BoxAnswerer answers;
    auto w = startWindow(); // the folder cannot be remembered: one box, then the window works
    auto* text1 = child<QLineEdit>(*w, "Text1");
    text1->setFocus();
    QTest::keyClick(text1, Qt::Key_Tab);
    QTest::qWait(50);
    ASSERT_EQ(answers.boxes.size(), 2u);
    // The system's own number for a file below a plain file (ENOTDIR, or a path error on Windows).
    ASSERT_FALSE(sysfiles::WrittenFile::open(m_store, sysfiles::WrittenFile::Mode::Replace));
    const int expected = sysfiles::lastError();
    for (const auto& b : answers.boxes) {
        EXPECT_EQ(b.icon, QMessageBox::Critical);
        EXPECT_TRUE(b.text.contains(QString::number(expected))) << b.text.toStdString() << " " << expected;
    }
    EXPECT_TRUE(w->isVisible());
}

namespace
{
// The child side of the closing test: a window on the given database presses the recount button and
// is closed by the user as soon as the second recount pass shows its title.
int closeDuringOperation(const std::string& database, const std::string& storeFile)
{
    Form1 w(SettingsStore(storeFile), "/tmp/");
    w.startUp();
    w.show();
    fillFields(w, testServerFields(database));
    w.setButtonLayout(ButtonLayout::Blocked);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &w, [&w] {
        if (w.windowTitle() == "Пересчитываем скачивание раздач")
            w.close();
    });
    watch.start(0);
    // A window that does not end the program would finish the operation and wait at its message.
    QTimer::singleShot(20000, [] { std::_Exit(4); });
    QTest::mouseClick(w.findChild<QPushButton*>("Command4"), Qt::LeftButton);
    std::printf("the operation ran to its end\n");
    return 3;
}
} // namespace

// The settings dialog refuses what cannot be used and keeps the rest; every button then connects as
// it says (here: TLS verified against the test authority).
TEST_F(Form1Test, ConnectionSettingsAreCheckedKeptAndUsedByTheButtons)
{
    const char* tls = std::getenv("TK_TEST_TLS");
    std::string dir;
    int requiring = 0;
    if (tls)
        std::istringstream(tls) >> dir >> requiring;
    fs::create_directories(m_dir);
    const std::string ca = tls ? dir + "/ca.pem" : (m_dir / "ca.pem").string();
    std::ofstream(m_dir / "ca.pem") << "not used";
    {
        ConnectionSettingsDialog dialog(SettingsStore(m_store), nullptr);
        std::string refused;
        dialog.refusal = [&](const std::string& why) { refused = why; };
        struct Row {
            const char *port, *ca, *cert, *key;
            std::string said; // empty: accepted
        };
        const Row rows[] = {
            {"0", "", "", "", "Порт"},
            {"", "/nonexistent/ca.pem", "", "", "сертификата центра (CA) не найден"},
            {"", "", ca.c_str(), "", "вместе"},
            {"3331", ca.c_str(), "", "", ""},
        };
        for (const Row& r : rows) {
            refused.clear();
            child<QLineEdit>(dialog, "Port")->setText(r.port);
            child<QLineEdit>(dialog, "SslCa")->setText(r.ca);
            child<QLineEdit>(dialog, "SslCert")->setText(r.cert);
            child<QLineEdit>(dialog, "SslKey")->setText(r.key);
            child<QComboBox>(dialog, "Tls")->setCurrentIndex(1);
            child<QSpinBox>(dialog, "LockWait")->setValue(7);
            child<QLineEdit>(dialog, "Replicas")->setText(" r1:3312  r2 ");
            dialog.accept();
            if (r.said.empty()) {
                EXPECT_EQ(refused, "") << r.port << r.ca;
            } else {
                EXPECT_NE(refused.find(r.said), std::string::npos) << refused;
                EXPECT_EQ(SettingsStore(m_store).RegLoad("temp\\port"), "") << "nothing saved: " << r.said;
            }
        }
    }
    const SettingsStore store(m_store);
    for (const auto& [key, value] : std::vector<std::pair<const char*, std::string>>{{"temp\\port", "3331"},
                                                                                     {"temp\\tls", "required"},
                                                                                     {"temp\\sslca", ca},
                                                                                     {"temp\\sslverify", "1"},
                                                                                     {"temp\\replicas", "r1:3312 r2"},
                                                                                     {"temp\\lockwait", "7"}})
        EXPECT_EQ(store.RegLoad(key), value) << key;
    ConnectionSettingsDialog again(store, nullptr);
    EXPECT_EQ(child<QLineEdit>(again, "SslCa")->text().toStdString(), ca);
    EXPECT_EQ(child<QComboBox>(again, "Tls")->currentIndex(), 1);

    if (!tls)
        GTEST_SKIP() << "no TLS test servers (TK_TEST_TLS)";
    store.RegSave("temp\\port", std::to_string(requiring));
    auto w = startWindow();
    fillFields(*w, {"127.0.0.1", "tk_test", "tk-pass", "mysql"});
    BoxAnswerer answers;
    QTest::mouseClick(child<QPushButton>(*w, "Command1"), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_TRUE(answers.boxes[0].text.contains("сертификат сервера проверен")) << answers.boxes[0].text.toStdString();
}

// A site with two cleanup runs: the preview, the undo list and its refusals, from the window.
TEST_F(Form1Test, PreviewAndUndoFromTheWindowLeaveItsControlsAsTheyAre)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase db("form_undo");
    fillSmallSite(db);
    const auto site = [&db] { return dumpSite(db); };
    const auto original = site();
    const std::string folder = m_dir.string() + "/files/";
    fs::create_directories(folder);
    auto w = startWindow(folder);
    fillFields(*w, db.fields());
    w->setButtonLayout(ButtonLayout::Blocked);
    std::map<QString, std::pair<QRect, QString>> controls;
    for (auto* c : w->findChildren<QWidget*>())
        if (!c->objectName().isEmpty())
            controls[c->objectName()] = {c->geometry(), c->property("text").toString()};
    BoxAnswerer answers;

    w->previewCleanup();
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_TRUE(answers.boxes[0].text.startsWith("Пробный прогон: база не изменена, файлы не записаны\n"))
        << answers.boxes[0].text.toStdString();
    EXPECT_EQ(site(), original);
    EXPECT_TRUE(fs::is_empty(folder)) << "the preview writes no file";

    QTest::mouseClick(child<QPushButton>(*w, "Command5"), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 2u);
    EXPECT_TRUE(answers.boxes[1].text.contains(
        "\nОтменить чистку: правая кнопка мыши на окне (или клавиша меню), «Отмена чистки: архивы…»\n"))
        << answers.boxes[1].text.toStdString();
    // The menu opens from the keyboard as well, from any control, a field included.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    child<QLineEdit>(*w, "Text1")->setFocus();
    QStringList menuActions;
    QTimer menuCloser;
    QObject::connect(&menuCloser, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (const QAction* a : menu->actions())
                if (!a->isSeparator())
                    menuActions << a->text();
            menu->close();
        }
    });
    menuCloser.start(10);
    QTest::keyClick(child<QLineEdit>(*w, "Text1"), Qt::Key_F10, Qt::ShiftModifier);
    menuCloser.stop();
    EXPECT_EQ(menuActions,
              QStringList({"Предварительный просмотр чистки…", "Отмена чистки: архивы…", "Параметры соединения…"}));
    db.exec("insert into tbl_link (CODE, BASECODE, WHOADD) values (102, 98, 2)");
    const auto beforeSecond = site();
    QTest::mouseClick(child<QPushButton>(*w, "Command5"), Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 3u);
    const auto afterSecond = site();
    EXPECT_NE(afterSecond, beforeSecond);
    // Both put back: the site before the first run, with the link the site added between the runs.
    auto bothBack = original;
    bothBack["tbl_link"].push_back(beforeSecond.at("tbl_link").back());

    // The list, newest first; what the dialog's button does, one choice after the other.
    const auto undo = [&](ArchivesDialog& d) {
        ASSERT_EQ(d.list()->count(), 2);
        EXPECT_TRUE(d.list()->item(0)->text().contains("удалено строк: 1, заменено значений: 0"))
            << d.list()->item(0)->text().toStdString();
        EXPECT_TRUE(d.list()->item(1)->text().contains("не восстановлен"));
        // Another run holds the site: refused, nothing changed.
        db.exec("do GET_LOCK(CONCAT('tk_corvane.', SHA1(DATABASE())), 0)");
        d.restoreRows({0});
        db.exec("do RELEASE_LOCK(CONCAT('tk_corvane.', SHA1(DATABASE())))");
        EXPECT_EQ(site(), afterSecond);
        EXPECT_TRUE(answers.boxes.back().text.contains("другой")) << answers.boxes.back().text.toStdString();
        EXPECT_TRUE(d.list()->item(0)->text().contains("не восстановлен"));
        d.restoreRows({0, 1});
        EXPECT_EQ(site(), bothBack);
        EXPECT_TRUE(d.list()->item(1)->text().contains("  восстановлен 20"));
        d.restoreRows({1});
        EXPECT_TRUE(answers.boxes.back().text.contains("уже восстановлен")) << answers.boxes.back().text.toStdString();
        EXPECT_EQ(site(), bothBack);
        d.reject();
    };
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<ArchivesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        undo(*d);
    });
    w->showArchives();
    for (auto* c : w->findChildren<QWidget*>()) {
        if (!c->objectName().isEmpty() && controls.count(c->objectName())) {
            EXPECT_EQ(controls[c->objectName()], std::make_pair(c->geometry(), c->property("text").toString()))
                << c->objectName().toStdString();
        }
    }
}

TEST(Form1Closing, ClosingDuringAnOperationEndsTheProgramAtOnce)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase db("form_closing");
    db.exec("insert into tbl_conf (PARAM, VALUEINT, VALUESTR) values ('RAT_DOWN', 1, '1'), ('RAT_VOTES', 1, '1'), "
            "('RAT_LINKS', 1, '1'), ('RAT_PERSONA', 1, '1'), ('RAT_ALTLINKS', 1, '1')");
    db.exec("insert into tbl_link (CODE, DOWN) select seq, 7 from seq_1_to_50");
    db.exec("insert into tbl_user (CODE, LOGIN, RATINGS) select seq, 'u', 99 from seq_1_to_5");
    const fs::path store = fs::temp_directory_path() / ("tk_form_closing_" + db.name());
    const Result child =
        runProgram(sysfiles::executablePath(), {"--close-during-operation", db.name(), store.string()});
    const std::string output = child.out + child.err;
    EXPECT_EQ(child.status, 0) << output;
    EXPECT_EQ(output.find("ran to its end"), std::string::npos) << output;
    // The first pass was done and stays done (the links have no downloads); the user pass never ran.
    EXPECT_EQ(db.count("tbl_link", "DOWN=0"), 50);
    EXPECT_EQ(db.count("tbl_user", "RATINGS=99"), 5);
    fs::remove(store);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--close-during-operation")
        return closeDuringOperation(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
