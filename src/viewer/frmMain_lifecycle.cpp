// The window's own events: resizing (and, later, loading and unloading).
#include "frmMain.h"

#include <QFrame>

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::Form_Resize()
{
    // Only a show has a picture to refit; the panel keeps its designed places at any size.
    if (Frame1 && Frame1->isHidden())
        FitAndShow();
}
