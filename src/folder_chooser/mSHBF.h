#pragma once

#include <QString>

class QWidget;

/// Lets the user pick a picture folder with the desktop's folder dialog.
namespace mSHBF {

/// The window the next dialog is modal to.
void SetOwnerWindow(QWidget *owner);

/// Shows the dialog; the chosen folder's full path, or the empty text when none was chosen.
QString BrowseFolder();

} // namespace mSHBF
