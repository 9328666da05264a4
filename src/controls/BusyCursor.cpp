#include "controls/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace controls {

BusyCursor::BusyCursor()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyCursor::~BusyCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

} // namespace controls
