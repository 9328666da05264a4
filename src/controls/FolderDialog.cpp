#include "controls/FolderDialog.h"

#include "system/DirSearch.h"
#include "system/PathCodec.h"
#include "system/Paths.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace controls {

namespace {

// The file system's folders as a tree, each listed when first opened. The toolkit's own file
// dialog leaves out every name that is no UTF-8, which Linux allows and old archives hold; this
// one lists them all, shows them readably and keeps each folder by its own bytes.
class FolderTree : public QAbstractItemModel {
public:
    FolderTree()
        : m_root(std::make_unique<Node>())
    {
        m_root->path = m_root->name = sys::pathSeparator();
    }

    QModelIndex top() const { return createIndex(0, 0, m_root.get()); }
    QString pathOf(const QModelIndex &index) const
    {
        return index.isValid() ? node(index)->path : QString();
    }

    QModelIndex index(int row, int column, const QModelIndex &parent) const override
    {
        if (!parent.isValid())
            return row == 0 && column == 0 ? top() : QModelIndex();
        const Node *folder = listed(node(parent));
        if (column != 0 || row < 0 || row >= int(folder->children.size()))
            return QModelIndex();
        return createIndex(row, 0, folder->children[size_t(row)].get());
    }

    QModelIndex parent(const QModelIndex &index) const override
    {
        const Node *up = index.isValid() ? node(index)->parent : nullptr;
        return up ? createIndex(up->row, 0, up) : QModelIndex();
    }

    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? int(listed(node(parent))->children.size()) : 1;
    }

    int columnCount(const QModelIndex &) const override { return 1; }

    bool hasChildren(const QModelIndex &parent) const override
    {
        // Unopened folders may hold folders: listing them all up front would read every one.
        return !parent.isValid() || !node(parent)->listed || !node(parent)->children.empty();
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return QVariant();
        if (role == Qt::DisplayRole)
            return node(index)->name;
        if (role == Qt::DecorationRole)
            return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        return QVariant();
    }

private:
    struct Node {
        QString path; // the folder's own bytes, as the path codec keeps them
        QString name; // as shown
        Node *parent = nullptr;
        int row = 0;
        bool listed = false;
        std::vector<std::unique_ptr<Node>> children;
    };

    static Node *node(const QModelIndex &index)
    {
        return static_cast<Node *>(index.internalPointer());
    }

    // Lists a folder's visible sub-folders the first time it is asked for them; to the view
    // they were always there.
    static const Node *listed(Node *folder)
    {
        if (folder->listed)
            return folder;
        folder->listed = true;
        for (const sys::DirEntry &entry : sys::readDirectory(folder->path)) {
            if (entry.kind != sys::EntryKind::Directory || sys::isHiddenName(entry.name))
                continue;
            auto child = std::make_unique<Node>();
            child->path = sys::withTrailingSeparator(folder->path) + entry.name;
            child->name = sys::displayText(entry.name);
            child->parent = folder;
            folder->children.push_back(std::move(child));
        }
        std::sort(folder->children.begin(), folder->children.end(),
                  [](const auto &a, const auto &b) {
                      const int c = QString::compare(a->name, b->name, Qt::CaseInsensitive);
                      return c != 0 ? c < 0 : a->path < b->path;
                  });
        for (size_t i = 0; i < folder->children.size(); ++i)
            folder->children[i]->row = int(i);
        return folder;
    }

    std::unique_ptr<Node> m_root;
};

class TreeFolderDialog : public FolderDialog {
public:
    QString chooseFolder(QWidget *owner) override
    {
        FolderTree folders; // outlives the view that shows it
        QDialog dialog(owner);
        // The toolkit's own title for this dialog, in the user's language where it has one.
        dialog.setWindowTitle(QCoreApplication::translate("QFileDialog", "Find Directory"));
        auto *tree = new QTreeView(&dialog);
        tree->setModel(&folders);
        tree->setHeaderHidden(true);
        tree->setUniformRowHeights(true);
        // The folder chosen in the tree, or one whose path the user typed instead.
        auto *chosen = new QLineEdit(&dialog);
        QString typed;
        auto *buttons =
            new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        QObject::connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, &dialog,
                         [&](const QModelIndex &current) {
                             typed.clear();
                             chosen->setText(sys::displayText(folders.pathOf(current)));
                             ok->setEnabled(current.isValid());
                         });
        QObject::connect(chosen, &QLineEdit::textEdited, &dialog, [&](const QString &text) {
            typed = text;
            ok->setEnabled(text.startsWith(sys::pathSeparator()) && sys::isDirectory(text));
        });
        auto *layout = new QVBoxLayout(&dialog);
        layout->addWidget(tree);
        layout->addWidget(chosen);
        layout->addWidget(buttons);
        // Browsing starts at the top of the file system.
        tree->setCurrentIndex(folders.top());
        tree->expand(folders.top());
        tree->setFocus();
        dialog.resize(dialog.fontMetrics().averageCharWidth() * 80,
                      dialog.fontMetrics().height() * 28);
        if (dialog.exec() != QDialog::Accepted)
            return QString();
        return typed.isEmpty() ? folders.pathOf(tree->currentIndex()) : QDir::cleanPath(typed);
    }
};

std::unique_ptr<FolderDialog> &installed()
{
    static std::unique_ptr<FolderDialog> dialog = std::make_unique<TreeFolderDialog>();
    return dialog;
}

} // namespace

FolderDialog &folderDialog()
{
    return *installed();
}

std::unique_ptr<FolderDialog> setFolderDialog(std::unique_ptr<FolderDialog> dialog)
{
    return std::exchange(installed(),
                         dialog ? std::move(dialog) : std::make_unique<TreeFolderDialog>());
}

} // namespace controls
