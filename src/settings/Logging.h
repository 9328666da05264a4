#pragma once

#include <QLoggingCategory>

// The program says nothing to its user, by design; this category, off unless asked for
// (QT_LOGGING_RULES="pelmora.*=true"), says why something did not happen.
namespace settings::logging {

Q_DECLARE_LOGGING_CATEGORY(settings) ///< "pelmora.settings": reading and writing the settings

} // namespace settings::logging
