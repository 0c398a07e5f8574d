#pragma once
// The connection settings beyond the window's fields (port, TLS, replicas, lock wait), in a small
// dialog: shown with what the store holds, saved only when they can be used.
#include "ops/StoredSettings.h"
#include "settings/SettingsStore.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

class ConnectionSettingsDialog : public QDialog
{
    Q_OBJECT
  public:
    ConnectionSettingsDialog(SettingsStore store, QWidget* parent);

    // OK: the settings as typed, refused with a message where they cannot be used, else saved and
    // the dialog closed.
    void accept() override;

    // Replaces the message box (tests): gets the refusal's text.
    std::function<void(const std::string&)> refusal;

  private:
    // A row of the form: a field for a file (or folder) and a button that picks one.
    QLineEdit* fileRow(QFormLayout& form, const char* name, const QString& label, const std::string& value,
                       bool folder);
    void showWarning();

    SettingsStore m_store;
    QLineEdit* m_port = nullptr;
    QComboBox* m_tls = nullptr;
    QLineEdit* m_ca = nullptr;
    QLineEdit* m_caPath = nullptr;
    QLineEdit* m_cert = nullptr;
    QLineEdit* m_key = nullptr;
    QCheckBox* m_verify = nullptr;
    QLabel* m_warning = nullptr;
    QLineEdit* m_replicas = nullptr;
    QSpinBox* m_maxLag = nullptr;
    QSpinBox* m_lagWait = nullptr;
    QSpinBox* m_lockWait = nullptr;
};
