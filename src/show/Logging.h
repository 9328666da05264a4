#pragma once

#include <QLoggingCategory>

// The program says nothing to its user, by design; this category, off unless asked for
// (QT_LOGGING_RULES="pelmora.*=true"), says why something did not happen.
namespace show::logging {

Q_DECLARE_LOGGING_CATEGORY(show) ///< "pelmora.show": ticks that gave their picture up

} // namespace show::logging
