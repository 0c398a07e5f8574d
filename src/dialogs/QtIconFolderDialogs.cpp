// The icon and folder pickers and the icons and item lists they hand out, on Qt.
#include "dialogs/AnsiText.h"
#include "dialogs/QtDialogPlatform.h"
#include "dialogs/QtDialogShared.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace dialogs
{
namespace
{
constexpr std::uint32_t kBrowseForComputer = 0x1000;
constexpr std::uint32_t kBrowseForPrinter = 0x2000;
constexpr std::uint32_t kBrowseIncludeFiles = 0x4000;
} // namespace

std::int32_t QtDialogPlatform::pickIconDialog(Handle owner, std::string& iconFile, std::uint32_t capacity,
                                              std::int32_t& index)
{
    QDialog dialog(ownerWidget(owner));
    dialog.setObjectName(QStringLiteral("pickIconDialog"));
    dialog.setWindowTitle(QStringLiteral("Change Icon"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* pathRow = new QHBoxLayout;
    auto* path = new QLineEdit(fromAnsi(beforeNul(iconFile)), &dialog);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), &dialog);
    pathRow->addWidget(path);
    pathRow->addWidget(browse);
    layout->addWidget(new QLabel(QStringLiteral("Look for icons in this file:"), &dialog));
    layout->addLayout(pathRow);
    auto* icons = new QListWidget(&dialog);
    icons->setViewMode(QListView::IconMode);
    icons->setIconSize(QSize(32, 32));
    layout->addWidget(icons);
    const auto load = [icons, path, &index] {
        icons->clear();
        QImageReader reader(path->text());
        const int count = std::max(reader.imageCount(), reader.canRead() ? 1 : 0);
        for (int i = 0; i < count; ++i) {
            if (i > 0 && !reader.jumpToImage(i))
                break;
            icons->addItem(new QListWidgetItem(QIcon(QPixmap::fromImage(reader.read())), QString()));
        }
        icons->setCurrentRow(index < icons->count() ? index : 0);
    };
    load();
    QObject::connect(path, &QLineEdit::editingFinished, &dialog, load);
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, path, load] {
        const QString file = QFileDialog::getOpenFileName(&dialog, QStringLiteral("Change Icon"), path->text(),
                                                          QStringLiteral("Icons (*.ico *.png *.svg *.xpm *.bmp);;"
                                                                         "All files (*)"));
        if (!file.isEmpty()) {
            path->setText(file);
            load();
        }
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted || icons->currentRow() < 0)
        return 0;
    const std::string chosen = nativePath(path->text());
    if (chosen.size() + 1 > capacity || capacity > iconFile.size())
        return 0; // the buffer cannot take the chosen file
    std::fill(iconFile.begin(), iconFile.end(), '\0');
    std::copy(chosen.begin(), chosen.end(), iconFile.begin());
    index = icons->currentRow();
    return 1;
}

std::int32_t QtDialogPlatform::extractIcons(const std::string& file, std::int32_t index, Handle* large, Handle* small,
                                            std::uint32_t count)
{
    if (count == 0 || index < 0)
        return 0;
    QImageReader reader(fromAnsi(file));
    if (index > 0 && !reader.jumpToImage(index))
        return 0;
    const QImage image = reader.read();
    if (image.isNull())
        return 0;
    const auto store = [&](Handle* place, int size) {
        if (place == nullptr)
            return;
        *place = newHandle();
        m_icons[*place] = QPixmap::fromImage(image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    };
    store(large, 32);
    store(small, 16);
    return 1;
}

Handle QtDialogPlatform::copyIcon(Handle icon)
{
    const auto found = m_icons.find(icon);
    if (found == m_icons.end())
        return 0;
    const Handle copy = newHandle();
    m_icons[copy] = found->second;
    return copy;
}

void QtDialogPlatform::destroyIcon(Handle icon)
{
    m_icons.erase(icon);
}

Handle QtDialogPlatform::itemListFromPath(const std::string& path)
{
    if (path.empty())
        return 0; // the desktop, everything
    const Handle list = newHandle();
    m_itemLists[list] = fromAnsi(path);
    return list;
}

Handle QtDialogPlatform::browseForFolder(BrowseInfo& record)
{
    if (record.flags & (kBrowseForComputer | kBrowseForPrinter))
        return 0; // computers and printers cannot be browsed here
    QFileDialog dialog(ownerWidget(record.owner));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowTitle(QStringLiteral("Browse for Folder"));
    const QString prompt = fromAnsi(beforeNul(record.title));
    if (!prompt.isEmpty())
        dialog.setLabelText(QFileDialog::LookIn, prompt);
    if (record.flags & kBrowseIncludeFiles) {
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    }
    if (const auto root = m_itemLists.find(record.root); root != m_itemLists.end())
        dialog.setDirectory(root->second);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return 0;
    const Handle list = newHandle();
    m_itemLists[list] = dialog.selectedFiles().front();
    return list;
}

std::int32_t QtDialogPlatform::pathFromItemList(Handle itemList, std::string& buffer)
{
    const auto found = m_itemLists.find(itemList);
    if (found == m_itemLists.end())
        return 0;
    const std::string path = nativePath(found->second);
    if (path.size() + 1 > buffer.size())
        return 0;
    std::fill(buffer.begin(), buffer.end(), '\0');
    std::copy(path.begin(), path.end(), buffer.begin());
    return 1;
}

void QtDialogPlatform::freeItemList(Handle itemList)
{
    m_itemLists.erase(itemList);
}

} // namespace dialogs
