#include "picture_source/DirListBox.h"

#include <QDir>

namespace source {

DirListBox::DirListBox(QObject *parent)
    : QObject(parent)
    , m_path(QDir::currentPath())
{
}

void DirListBox::setPath(const QString &folder)
{
    m_path = folder;
    emit change();
}

} // namespace source
