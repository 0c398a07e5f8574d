#include "app/ArchivesDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ArchivesDialog::ArchivesDialog(OperationRunner& runner, std::string folder, QWidget* parent)
    : QDialog(parent), m_runner(runner), m_folder(std::move(folder))
{
    setObjectName("Archives");
    setWindowTitle("Отмена чистки: архивы");
    auto* layout = new QVBoxLayout(this); // owned by the dialog
    layout->addWidget(new QLabel("Архивы отмены этой базы, сначала самый новый. Выбранные будут восстановлены "
                                 "(несколько — начиная с самого нового).",
                                 this));
    m_list = new QListWidget(this);
    m_list->setObjectName("ArchiveList");
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setMinimumWidth(760);
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(this);
    m_restore = buttons->addButton("Восстановить выбранные…", QDialogButtonBox::AcceptRole);
    m_restore->setObjectName("Restore");
    buttons->addButton("Закрыть", QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(m_restore, &QPushButton::clicked, this, &ArchivesDialog::restoreSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &ArchivesDialog::reject);
    connect(m_list, &QListWidget::itemSelectionChanged, this,
            [this] { m_restore->setEnabled(!m_list->selectedItems().isEmpty()); });
    refresh();
}

void ArchivesDialog::refresh()
{
    m_entries = cleanup::listArchives(m_folder, m_runner.window().connectionFields().database);
    m_list->clear();
    for (const auto& entry : m_entries)
        m_list->addItem(QString::fromStdString(cleanup::describeArchive(entry)));
    if (m_entries.empty())
        m_list->addItem("Архивов этой базы нет: " + QString::fromStdString(m_folder));
    m_list->setEnabled(!m_entries.empty());
    m_restore->setEnabled(false);
}

void ArchivesDialog::restoreRows(const std::vector<int>& rows)
{
    m_list->clearSelection();
    for (int row : rows)
        if (row >= 0 && row < m_list->count())
            m_list->item(row)->setSelected(true);
    restoreSelected();
}

void ArchivesDialog::restoreSelected()
{
    std::vector<std::string> files;
    std::string named;
    for (int row = 0; row < m_list->count() && row < static_cast<int>(m_entries.size()); ++row) {
        if (!m_list->item(row)->isSelected())
            continue;
        files.push_back(m_entries[static_cast<std::size_t>(row)].header.path);
        named += cleanup::describeArchive(m_entries[static_cast<std::size_t>(row)]) + "\n";
    }
    if (files.empty() || m_runner.busy())
        return;
    if (!m_runner.window().confirm("Восстановить в базе «" + m_runner.window().connectionFields().database +
                                   "» то, что удалили и заменили эти чистки (сначала самая новая)?\n\n" + named))
        return;
    cleanup::RestoreResult result;
    cleanup::restoreArchives(m_runner, files, false, result);
    refresh();
}
