#pragma once

#include <QLoggingCategory>

// The program says nothing to its user, by design; these categories, off unless asked for
// (QT_LOGGING_RULES="pelmora.*=true"), say why something did not happen.
namespace sys::logging {

Q_DECLARE_LOGGING_CATEGORY(files) ///< "pelmora.files": reading files
/// "pelmora.desktop": the screen kept on through the desktop, and the monitors' colour profiles
/// found through it, or why not
Q_DECLARE_LOGGING_CATEGORY(desktop)

} // namespace sys::logging
