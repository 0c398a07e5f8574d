#include "app/ConnectionSettingsDialog.h"

#include "common/ProductInfo.h"
#include "ops/OperationRunner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

namespace
{
QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}
std::string text(const QLineEdit* e)
{
    return e->text().trimmed().toStdString();
}
// The modes in the order the list shows them.
constexpr db::TlsMode kModes[] = {db::TlsMode::Offered, db::TlsMode::Required, db::TlsMode::Off};
} // namespace

ConnectionSettingsDialog::ConnectionSettingsDialog(SettingsStore store, QWidget* parent)
    : QDialog(parent), m_store(std::move(store))
{
    setObjectName("ConnectionSettings");
    setWindowTitle("Параметры соединения");
    const ConnectionSettings s = loadConnectionSettings(m_store);
    auto* form = new QFormLayout; // owned by the dialog's layout

    m_port = new QLineEdit(s.port ? QString::number(*s.port) : QString(), this);
    m_port->setObjectName("Port");
    m_port->setPlaceholderText("3306, если в адресе сервера порт не указан");
    form->addRow("Порт:", m_port);

    m_tls = new QComboBox(this);
    m_tls->setObjectName("Tls");
    m_tls->addItems({"если сервер предлагает", "обязательно", "выключено"});
    for (int i = 0; i < 3; ++i)
        if (kModes[i] == s.tls.mode)
            m_tls->setCurrentIndex(i);
    form->addRow("Шифрование (TLS):", m_tls);
    m_ca = fileRow(*form, "SslCa", "Сертификат центра (CA):", s.tls.ca, false);
    m_caPath = fileRow(*form, "SslCaPath", "Папка сертификатов центров:", s.tls.caPath, true);
    m_cert = fileRow(*form, "SslCert", "Сертификат клиента:", s.tls.cert, false);
    m_key = fileRow(*form, "SslKey", "Ключ клиента:", s.tls.key, false);
    m_verify = new QCheckBox("проверять подлинность сервера (сертификат и имя)", this);
    m_verify->setObjectName("SslVerify");
    m_verify->setChecked(s.tls.verify);
    form->addRow("", m_verify);
    m_warning = new QLabel("Без проверки подлинности соединение может перехватить посредник.", this);
    m_warning->setStyleSheet("color: #b00000;");
    m_warning->setWordWrap(true);
    form->addRow("", m_warning);

    m_replicas = new QLineEdit(qs([&] {
                                   std::string all;
                                   for (const std::string& r : s.replicas.servers)
                                       all += (all.empty() ? "" : " ") + r;
                                   return all;
                               }()),
                               this);
    m_replicas->setObjectName("Replicas");
    m_replicas->setPlaceholderText("адреса через пробел");
    form->addRow("Реплики:", m_replicas);
    const auto seconds = [this](const char* name, int least, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(name);
        box->setRange(least, 86400);
        box->setSuffix(" с");
        box->setValue(value);
        return box;
    };
    m_maxLag = seconds("MaxLag", 0, s.replicas.maxLag);
    form->addRow("Допустимое отставание реплик:", m_maxLag);
    m_lagWait = seconds("LagWait", 1, s.replicas.lagWait);
    form->addRow("Ждать реплики не дольше:", m_lagWait);
    m_lockWait = seconds("LockWait", 1, s.lockWait);
    form->addRow("Ждать блокировку не дольше:", m_lockWait);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText("Отмена");
    connect(buttons, &QDialogButtonBox::accepted, this, &ConnectionSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ConnectionSettingsDialog::reject);
    form->addRow(buttons);
    setLayout(form);

    connect(m_tls, &QComboBox::currentIndexChanged, this, [this] { showWarning(); });
    connect(m_verify, &QCheckBox::toggled, this, [this] { showWarning(); });
    showWarning();
}

QLineEdit* ConnectionSettingsDialog::fileRow(QFormLayout& form, const char* name, const QString& label,
                                             const std::string& value, bool folder)
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* edit = new QLineEdit(qs(value), row);
    edit->setObjectName(name);
    auto* pick = new QPushButton("…", row);
    pick->setFixedWidth(28);
    layout->addWidget(edit);
    layout->addWidget(pick);
    connect(pick, &QPushButton::clicked, this, [this, edit, label, folder] {
        const QString chosen = folder ? QFileDialog::getExistingDirectory(this, label, edit->text())
                                      : QFileDialog::getOpenFileName(this, label, edit->text());
        if (!chosen.isEmpty())
            edit->setText(chosen);
    });
    form.addRow(label, row);
    return edit;
}

void ConnectionSettingsDialog::showWarning()
{
    const db::TlsMode mode = kModes[std::max(0, m_tls->currentIndex())];
    m_verify->setEnabled(mode == db::TlsMode::Required);
    m_warning->setVisible(mode != db::TlsMode::Required || !m_verify->isChecked());
    m_warning->setText(mode == db::TlsMode::Off ? "Без шифрования пароль и данные идут по сети открыто."
                                                : "Без проверки подлинности соединение может перехватить посредник.");
}

void ConnectionSettingsDialog::accept()
{
    const auto refuse = [this](const std::string& why) {
        if (refusal)
            refusal(why);
        else
            QMessageBox::critical(this, qs(std::string(kProductCaption)), qs(why));
    };
    const auto port = portFromText(text(m_port));
    if (!port)
        return refuse("Порт — целое число от 1 до 65535 (или пусто): " + text(m_port));
    ConnectionSettings s;
    s.port = *port;
    s.tls = {kModes[std::max(0, m_tls->currentIndex())],
             text(m_ca),
             text(m_caPath),
             text(m_cert),
             text(m_key),
             m_verify->isChecked()};
    for (const QString& r : m_replicas->text().split(' ', Qt::SkipEmptyParts))
        s.replicas.servers.push_back(r.toStdString());
    s.replicas.maxLag = m_maxLag->value();
    s.replicas.lagWait = m_lagWait->value();
    s.lockWait = m_lockWait->value();
    if (const auto why = unusableSettings(s))
        return refuse(*why);
    try {
        saveConnectionSettings(m_store, s);
    } catch (const std::exception& e) {
        return refuse(describeError(e));
    }
    QDialog::accept();
}
