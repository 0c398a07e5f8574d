#pragma once
// The tool's one window: four connection fields, five operation buttons, and the caption that
// long operations use as their status line.
#include "ops/OperationRunner.h"
#include "ops/SiteWindow.h"
#include "settings/SettingsStore.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSize>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

class Form1 : public QWidget, public SiteWindow
{
    Q_OBJECT
  public:
    // The window's fixed client size: 6000 by 5445 twips, 15 twips to the pixel at 96 dots per inch.
    static constexpr QSize kClientSize{6000 / 15, 5445 / 15};

    // appFolder: the folder the tool writes its files to, ending in exactly one '/'.
    Form1(SettingsStore settings, std::string appFolder);

    // Start-up: centre, caption, remember AppFolder, restore the three stored fields.
    void startUp();

    // SiteWindow
    std::string caption() const override;
    void setCaption(const std::string& text) override;
    void showProgress(const std::string& text) override;
    void showTitle(const std::string& text) override;
    void keepAlive() override;
    void statementWaiting(int seconds) override;
    void showMessage(MessageIcon icon, const std::string& text) override;
    bool confirm(const std::string& text) override;
    void setButtonLayout(ButtonLayout layout) override;
    ConnectionFields connectionFields() const override;
    std::string tlsHint() const override;
    std::string undoHint(const std::string& archivePath) const override;
    void showWindow() override;
    bool openInTextViewer(const std::string& path) override;

    // Replaces the desktop text viewer (tests).
    std::function<bool(const std::string&)> textViewer;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Right button anywhere on the window: what lies beyond the five buttons.
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  public:
    // The connection settings dialog, modal; afterwards the runner works with what it saved.
    void editConnectionSettings();
    // The cleanup as a dry run: what it would delete and list now, nothing changed, no file written.
    void previewCleanup();
    // The undo list of this database's archives, modal.
    void showArchives();

  private:
    // The window's menu at a point of the screen; the menu key and Shift+F10 open it from any control.
    void showWindowMenu(const QPoint& at);
    // The stored lock wait and replicas, for the runner.
    void applyStoredSettings();
    QLabel* addLabel(int index, const QString& text, int left, int top, int width, int height);
    QLineEdit* addField(const char* name, const QString& text, int left, int top);
    QPushButton* addButton(const char* name, const QString& text, int left, int top, int width, int height,
                           double points);
    void saveField(QLineEdit* field, Stored which);
    // Centres the window's outer frame on the screen.
    void centre();

    SettingsStore m_settings;
    std::string m_appFolder;
    OperationRunner m_runner;
    // Under a window manager the frame is known only once the window is mapped: the window is
    // centred again, once, when it is.
    bool m_centredOnFrame = false;
    QString m_waitingUnder;   // the caption a statement's wait is shown in front of
    QString m_pendingCaption; // the latest progress caption, not yet on screen
    bool m_captionPending = false;
    QElapsedTimer m_lastRefresh; // when a caption last went on screen
    std::array<QLabel*, 6> m_labels{};
    QLineEdit* m_text1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QLineEdit* m_text3 = nullptr;
    QLineEdit* m_text4 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QPushButton* m_command4 = nullptr;
    QPushButton* m_command5 = nullptr;
};
