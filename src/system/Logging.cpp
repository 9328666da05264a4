#include "system/Logging.h"

namespace sys::logging {

// Only messages at least this grave are on by default: none of ours are.
Q_LOGGING_CATEGORY(files, "pelmora.files", QtCriticalMsg)
Q_LOGGING_CATEGORY(desktop, "pelmora.desktop", QtCriticalMsg)

} // namespace sys::logging
