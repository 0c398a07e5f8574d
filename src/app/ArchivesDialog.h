#pragma once
// The undo list: this database's undo archives, newest run first; the chosen ones are put back,
// once confirmed, through the same restore as `tk_corvane restore`.
#include "cleanup/ArchiveList.h"
#include "ops/OperationRunner.h"

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;
class QPushButton;

class ArchivesDialog : public QDialog
{
    Q_OBJECT
  public:
    // folder ends in '/'; the database is the window's field as it is now.
    ArchivesDialog(OperationRunner& runner, std::string folder, QWidget* parent);

    // Fills the list again from the folder.
    void refresh();
    // Selects the rows (indexes into the list, newest first) and puts them back, as the button does.
    void restoreRows(const std::vector<int>& rows);
    QListWidget* list() const { return m_list; }

  private:
    void restoreSelected();

    OperationRunner& m_runner;
    std::string m_folder;
    std::vector<cleanup::ArchiveEntry> m_entries;
    QListWidget* m_list = nullptr;
    QPushButton* m_restore = nullptr;
};
