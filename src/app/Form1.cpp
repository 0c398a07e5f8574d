#include "app/Form1.h"

#include "app/ArchivesDialog.h"
#include "app/Artwork.h"
#include "app/ConnectionSettingsDialog.h"
#include "app/GraphicalButton.h"
#include "app/TextViewer.h"
#include "cleanup/CleanupRun.h"
#include "common/ProductInfo.h"
#include "common/SystemFiles.h"
#include "maintenance/SiteBlock.h"
#include "ops/ConnectionTestButton.h"
#include "ops/StoredSettings.h"
#include "ratings/RatingRecalc.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMoveEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>

#include <cstdlib>

namespace
{

// A caption goes on screen at most this often (a little faster than a 60 Hz screen refreshes).
constexpr qint64 kCaptionRefreshMs = 15;

// Positions and sizes are laid out in twips; 15 twips make one pixel at 96 dots per inch.
constexpr int px(int twips)
{
    return twips / 15;
}

const QColor kBackground(69, 158, 218);

const char* const kMenuHint = "Правая кнопка мыши или клавиша меню (Shift+F10): просмотр чистки, отмена чистки "
                              "по архивам, параметры соединения";
const QColor kLightGreen(0x80, 0xFF, 0x80);

QFont arialBold(double points)
{
    QFont f("Arial");
    f.setStyleHint(QFont::SansSerif);
    f.setBold(true);
    f.setPointSizeF(points);
    return f;
}

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

Form1::Form1(SettingsStore settings, std::string appFolder)
    : m_settings(std::move(settings)), m_appFolder(std::move(appFolder)), m_runner(*this)
{
    setObjectName("Form1");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowSystemMenuHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientSize);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    pal.setColor(QPalette::Button, kBackground);
    setPalette(pal);
    setAutoFillBackground(true);
    setWindowIcon(productIcon());
    setCursor(arrowCursor());

    addLabel(0, "Параметры соединения с MySQL-сервером", 240, 120, 5655, 375);
    addLabel(1, "адрес сервера:", 480, 480, 1815, 375);
    m_text1 = addField("Text1", qs(std::string(stored(Stored::Server).fallback)), 2400, 480);
    addLabel(2, "пользователь:", 480, 840, 1815, 375);
    m_text2 = addField("Text2", qs(std::string(stored(Stored::User).fallback)), 2400, 840);
    addLabel(3, "пароль:", 480, 1200, 1815, 375);
    m_text3 = addField("Text3", "", 2400, 1200);
    m_text3->setEchoMode(QLineEdit::Password);
    // Every typed character shows as '*', whatever the desktop style would draw.
    m_text3->setStyleSheet("lineedit-password-character: 42;");
    m_command1 = addButton("Command1", "Тест соединения", 4440, 1200, 1455, 735, 11.25);
    addLabel(4, "имя базы данных:", 120, 1560, 2175, 375);
    m_text4 = addField("Text4", qs(std::string(stored(Stored::Database).fallback)), 2400, 1560);
    addLabel(5, "ВНИМАНИЕ: Сделайте backup БД, перед проведением работ", 120, 2160, 5655, 615);
    m_command2 = addButton("Command2", "Заблокировать систему", 120, 3000, 5775, 375, 11.25);
    m_command5 =
        addButton("Command5", "\"Чистка\" базы (удаление битых ссылок, статистика и т.п.)", 120, 3720, 5775, 375, 9);
    m_command4 = addButton("Command4", "Пересчитать рейтинги", 120, 4200, 5775, 375, 11.25);
    m_command3 = addButton("Command3", "Снять блокировку", 120, 4920, 5775, 375, 11.25);

    for (int i = 1; i <= 5; ++i)
        m_labels[i]->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QPalette green = m_labels[0]->palette();
    green.setColor(QPalette::WindowText, kLightGreen);
    m_labels[0]->setPalette(green);
    m_labels[0]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    for (int i = 1; i <= 4; ++i) {
        QPalette white = m_labels[i]->palette();
        white.setColor(QPalette::WindowText, Qt::white);
        m_labels[i]->setPalette(white);
    }
    QPalette warning = m_labels[5]->palette();
    warning.setColor(QPalette::WindowText, Qt::red);
    warning.setColor(QPalette::Window, Qt::white);
    m_labels[5]->setPalette(warning);
    m_labels[5]->setAutoFillBackground(true);
    m_labels[5]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_labels[5]->setWordWrap(true);

    // Keyboard order: the test button first, then the fields, then the operations.
    setTabOrder(m_command1, m_text1);
    setTabOrder(m_text1, m_text2);
    setTabOrder(m_text2, m_text3);
    setTabOrder(m_text3, m_text4);
    setTabOrder(m_text4, m_command2);
    setTabOrder(m_command2, m_command3);
    setTabOrder(m_command3, m_command4);
    setTabOrder(m_command4, m_command5);
    m_command1->setFocus();
    setButtonLayout(ButtonLayout::Ready);

    // The menu beyond the five buttons, told of where nothing else stands and opened from the
    // keyboard too (a field's own edit menu stays on its right button).
    setToolTip(kMenuHint);
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)})
        connect(new QShortcut(keys, this) /* owned by the window */, &QShortcut::activated, this, [this] {
            const QWidget* at = focusWidget() ? focusWidget() : this;
            showWindowMenu(at->mapToGlobal(QPoint(0, at->height())));
        });

    connect(m_command1, &QPushButton::clicked, this, [this] { Command1_Click(m_runner); });
    connect(m_command2, &QPushButton::clicked, this, [this] { Command2_Click(m_runner, m_settings); });
    connect(m_command3, &QPushButton::clicked, this, [this] { Command3_Click(m_runner); });
    connect(m_command4, &QPushButton::clicked, this, [this] { Command4_Click(m_runner); });
    connect(m_command5, &QPushButton::clicked, this, [this] {
        // Where triggers fire, the stored setting lets the window ask rather than refuse.
        Command5_Click(m_runner, m_appFolder, db::kPageRows,
                       m_settings.load(Stored::AllowTriggers) == "1" ? TriggerPolicy::Ask : TriggerPolicy::Refuse);
    });
}

QLabel* Form1::addLabel(int index, const QString& text, int left, int top, int width, int height)
{
    auto* label = new QLabel(text, this); // owned by the window
    label->setObjectName(QString("Label1_%1").arg(index));
    label->setFont(arialBold(11.25));
    label->setGeometry(px(left), px(top), px(width), px(height));
    m_labels[static_cast<std::size_t>(index)] = label;
    return label;
}

QLineEdit* Form1::addField(const char* name, const QString& text, int left, int top)
{
    auto* field = new QLineEdit(text, this); // owned by the window
    field->setObjectName(name);
    field->setFont(arialBold(8.25));
    field->setGeometry(px(left), px(top), px(1935), px(315));
    field->installEventFilter(this);
    return field;
}

QPushButton* Form1::addButton(const char* name, const QString& text, int left, int top, int width, int height,
                              double points)
{
    auto* button = new GraphicalButton(text, this); // owned by the window
    button->setObjectName(name);
    button->setFont(arialBold(points));
    button->setGeometry(px(left), px(top), px(width), px(height));
    button->setCursor(handCursor());
    button->setAutoDefault(false);
    return button;
}

void Form1::centre()
{
    const QSize outer = frameGeometry().size();
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
    // Centred on the whole screen; a screen smaller than the window gives a negative corner.
    const float left = (static_cast<float>(screen.width()) - static_cast<float>(outer.width())) / 2.0f;
    const float top = (static_cast<float>(screen.height()) - static_cast<float>(outer.height())) / 2.0f;
    move(screen.x() + static_cast<int>(left), screen.y() + static_cast<int>(top));
}

void Form1::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (!m_centredOnFrame && isVisible() && frameGeometry().size() != size()) {
        m_centredOnFrame = true;
        centre();
    }
}

void Form1::startUp()
{
    centre();
    setWindowTitle(qs(std::string(kProductCaption)));
    try {
        m_settings.save(Stored::AppFolder, m_appFolder);
    } catch (const std::exception& e) {
        showMessage(MessageIcon::Critical, describeError(e));
    }
    for (const auto& [field, which] :
         {std::pair{m_text1, Stored::Server}, std::pair{m_text2, Stored::User}, std::pair{m_text4, Stored::Database}})
        field->setText(qs(m_settings.load(which)));
    applyStoredSettings();
}

void Form1::applyStoredSettings()
{
    const ConnectionSettings s = loadConnectionSettings(m_settings);
    m_runner.setReplicas(s.replicas);
    m_runner.setLockWait(s.lockWait);
}

void Form1::contextMenuEvent(QContextMenuEvent* event)
{
    showWindowMenu(event->globalPos());
}

void Form1::showWindowMenu(const QPoint& at)
{
    if (m_runner.busy())
        return;
    QMenu menu(this);
    menu.setObjectName("WindowMenu");
    menu.addAction("Предварительный просмотр чистки…", this, &Form1::previewCleanup)
        ->setEnabled(m_command5->isEnabled());
    menu.addAction("Отмена чистки: архивы…", this, &Form1::showArchives);
    menu.addSeparator();
    menu.addAction("Параметры соединения…", this, &Form1::editConnectionSettings);
    menu.exec(at);
}

void Form1::previewCleanup()
{
    ::previewCleanup(m_runner, db::kPageRows,
                     m_settings.load(Stored::AllowTriggers) == "1" ? TriggerPolicy::Ask : TriggerPolicy::Refuse);
}

void Form1::showArchives()
{
    ArchivesDialog dialog(m_runner, m_appFolder, this);
    dialog.exec();
}

void Form1::editConnectionSettings()
{
    ConnectionSettingsDialog dialog(m_settings, this);
    if (dialog.exec() == QDialog::Accepted)
        applyStoredSettings();
}

void Form1::saveField(QLineEdit* field, Stored which)
{
    try {
        m_settings.save(which, field->text().toStdString());
    } catch (const std::exception& e) {
        showMessage(MessageIcon::Critical, describeError(e));
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // The field is saved when the focus moves to another control of the window; a message box or
    // another application taking the focus for a while is no leaving.
    const auto* focus = event->type() == QEvent::FocusOut ? static_cast<QFocusEvent*>(event) : nullptr;
    if (focus && focus->reason() != Qt::ActiveWindowFocusReason && focus->reason() != Qt::PopupFocusReason) {
        if (watched == m_text1)
            saveField(m_text1, Stored::Server);
        else if (watched == m_text2)
            saveField(m_text2, Stored::User);
        else if (watched == m_text4)
            saveField(m_text4, Stored::Database);
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter p(this);
    p.setPen(QPen(kLightGreen, 2));
    p.drawLine(px(120), px(2040), px(5880), px(2040));
    p.drawLine(px(120), px(2880), px(5880), px(2880));
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (m_runner.busy()) {
        // Closing in the middle of an operation ends the program at once; the server drops the
        // connection and what was already sent stays done.
        std::fflush(nullptr);
        sysfiles::endProcessNow(0);
    }
    event->accept();
}

std::string Form1::caption() const
{
    return (m_captionPending ? m_pendingCaption : windowTitle()).toStdString();
}

void Form1::setCaption(const std::string& text)
{
    m_captionPending = false;
    setWindowTitle(qs(text));
}

void Form1::showProgress(const std::string& text)
{
    // Captions can come far faster than a screen shows them, and putting each on screen would cost
    // more than the work: the window takes the latest one once per refresh and lets events run then.
    m_pendingCaption = qs(text);
    m_captionPending = true;
    if (!m_lastRefresh.isValid() || m_lastRefresh.elapsed() >= kCaptionRefreshMs)
        keepAlive();
}

void Form1::showTitle(const std::string& text)
{
    m_pendingCaption = qs(text);
    m_captionPending = true;
    keepAlive();
}

void Form1::keepAlive()
{
    if (m_captionPending) {
        m_captionPending = false;
        setWindowTitle(m_pendingCaption);
    }
    m_lastRefresh.restart();
    QCoreApplication::processEvents();
}

void Form1::statementWaiting(int seconds)
{
    // The caption says how long the statement has waited, then shows the progress again.
    static const QString kWaiting = QString::fromUtf8("ждём блокировку (%1 с): ");
    const QString under = m_captionPending ? m_pendingCaption : windowTitle();
    m_captionPending = false;
    if (seconds > 0) {
        if (!under.startsWith(kWaiting.left(15)))
            m_waitingUnder = under;
        setWindowTitle(kWaiting.arg(seconds) + m_waitingUnder);
    } else {
        setWindowTitle(m_waitingUnder);
    }
    m_lastRefresh.restart();
    QCoreApplication::processEvents();
}

void Form1::showMessage(MessageIcon icon, const std::string& text)
{
    const auto qicon = icon == MessageIcon::Critical      ? QMessageBox::Critical
                       : icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                          : QMessageBox::Information;
    // A long text (a preview's list of screenshots) shows its first lines; all of it is one click away.
    constexpr int kLinesShown = 40;
    const QStringList lines = qs(text).split('\n');
    QMessageBox box(qicon, qs(std::string(kProductName)),
                    lines.size() <= kLinesShown ? qs(text) : QStringList(lines.mid(0, kLinesShown)).join('\n') + "\n…",
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    if (lines.size() > kLinesShown)
        box.setDetailedText(qs(text));
    box.exec();
}

bool Form1::confirm(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, qs(std::string(kProductName)), qs(text), QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setDefaultButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

void Form1::setButtonLayout(ButtonLayout layout)
{
    const bool blocked = layout == ButtonLayout::Blocked;
    m_command1->setEnabled(true);
    m_command2->setEnabled(!blocked);
    m_command3->setEnabled(blocked);
    m_command4->setEnabled(blocked);
    m_command5->setEnabled(blocked);
}

ConnectionFields Form1::connectionFields() const
{
    ConnectionFields f{m_text1->text().toStdString(), m_text2->text().toStdString(), m_text3->text().toStdString(),
                       m_text4->text().toStdString()};
    // The port and TLS as the connection settings dialog stored them; a port typed into the server
    // field goes first.
    const ConnectionSettings s = loadConnectionSettings(m_settings);
    f.tls = s.tls;
    f.port = s.port;
    return f;
}

std::string Form1::tlsHint() const
{
    return "выберите «Шифрование (TLS): обязательно» в параметрах соединения (правая кнопка мыши на окне)";
}

std::string Form1::undoHint(const std::string& /*archivePath: the list names each archive by its run*/) const
{
    return "правая кнопка мыши на окне (или клавиша меню), «Отмена чистки: архивы…»";
}

void Form1::showWindow()
{
    show();
    raise();
    activateWindow();
}

bool Form1::openInTextViewer(const std::string& path)
{
    return textViewer ? textViewer(path) : startTextViewer(path);
}
