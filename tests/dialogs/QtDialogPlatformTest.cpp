// The desktop's dialogs really open (offscreen) and are answered here, as a user would.
#include "dialogs/QtDialogPlatform.h"
#include "dialogs/CdlgEx.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace dialogs::test
{
namespace
{

class QtDialogPlatformTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "qt_dialog_platform_test";
        static char* argv[] = {name, nullptr};
        // The dialogs must never need a display, whatever the runner passes on.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        s_app = std::make_unique<QApplication>(argc, argv);
    }
    static void TearDownTestSuite() { s_app.reset(); }

    // Answers the modal dialog on every tick until it closes (a dialog may still be loading
    // when first answered); after 5 s it is rejected so that a failure cannot hang the run.
    void answerNextDialog(std::function<void(QWidget*)> answer)
    {
        m_timer = std::make_unique<QTimer>();
        m_ticks = 0;
        QObject::connect(m_timer.get(), &QTimer::timeout, [this, answer] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr)
                return;
            m_seen = true;
            if (++m_ticks < 250)
                answer(dialog);
            else if (auto* stuck = qobject_cast<QDialog*>(dialog))
                stuck->reject();
        });
        m_timer->start(20);
    }

    static std::unique_ptr<QApplication> s_app;
    std::unique_ptr<QTimer> m_timer;
    bool m_seen = false;
    int m_ticks = 0;
    QtDialogPlatform m_platform;
    QTemporaryDir m_dir;
};

std::unique_ptr<QApplication> QtDialogPlatformTest::s_app;

TEST_F(QtDialogPlatformTest, OpenDialogReturnsTheChosenFile)
{
    const QString path = m_dir.filePath("chosen.txt");
    ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
    answerNextDialog([&](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->windowTitle(), "Pick one");
        EXPECT_EQ(files->nameFilters(), (QStringList{"Text (*.txt)", "All (*.*)"}));
        // Typed as a user would; the directory listing may still be loading.
        files->findChild<QLineEdit*>("fileNameEdit")->setText(path);
        static_cast<QDialog*>(files)->accept(); // QFileDialog's own is protected
    });
    CdlgEx dlg(m_platform);
    dlg.setInitDir(m_dir.path());
    dlg.setDialogTitle("Pick one");
    dlg.setFilter("Text|*.txt|All|*.*");
    dlg.setFlags(0x1000); // the file must exist
    dlg.ShowOpen();
    EXPECT_TRUE(m_seen);
    EXPECT_EQ(dlg.FileName(), QDir::toNativeSeparators(path));
    EXPECT_EQ(dlg.FileTitle(), "chosen.txt");
}

TEST_F(QtDialogPlatformTest, ColorDialogReturnsTheChosenColourAndCancelRaises)
{
    answerNextDialog([](QWidget* dialog) {
        auto* colors = qobject_cast<QColorDialog*>(dialog);
        ASSERT_NE(colors, nullptr);
        EXPECT_EQ(colors->currentColor(), QColor(0x40, 0x80, 0xFF)); // started from RGBResult
        colors->setCurrentColor(QColor(1, 2, 3));
        colors->accept();
    });
    CdlgEx dlg(m_platform);
    dlg.setFlags(1); // start from RGBResult
    dlg.setRGBResult(0xFF8040);
    dlg.ShowColor();
    EXPECT_TRUE(m_seen);
    EXPECT_EQ(dlg.RGBResult(), 0x030201);

    m_seen = false;
    answerNextDialog([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    dlg.setCancelError(true);
    EXPECT_THROW(dlg.ShowColor(), DialogCancelError);
    EXPECT_TRUE(m_seen);
    EXPECT_EQ(dlg.RGBResult(), 0x030201);
}

TEST_F(QtDialogPlatformTest, RunPromptStartsTheCommand)
{
    const QString marker = m_dir.filePath("ran");
    answerNextDialog([&](QWidget* dialog) {
        EXPECT_EQ(dialog->objectName(), "runDialog");
        EXPECT_EQ(dialog->windowTitle(), "Start");
        dialog->findChild<QLineEdit*>("commandLine")->setText("touch \"" + marker + "\"");
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    CdlgEx dlg(m_platform);
    dlg.setDialogTitle("Start");
    dlg.ShowRun();
    EXPECT_TRUE(m_seen);
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(marker) && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(QFile::exists(marker));
}

TEST_F(QtDialogPlatformTest, WhatCannotBeDoneFailsAndHandlesAreReleased)
{
    CdlgEx dlg(m_platform);
    EXPECT_EQ(dlg.ShowFormat(), -1); // no drive formatting on this desktop

    m_platform.acquireDeviceContext(0);
    EXPECT_EQ(m_platform.liveHandles(), 1u);
    answerNextDialog([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    dlg.setFontName("Sans");
    dlg.setFontSize(10);
    dlg.ShowFont();
    EXPECT_TRUE(m_seen);
    EXPECT_EQ(m_platform.liveHandles(), 1u) << "the font dialog's device contexts are released";
}

} // namespace
} // namespace dialogs::test
