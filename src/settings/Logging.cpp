#include "settings/Logging.h"

namespace settings::logging {

// Only messages at least this grave are on by default: none of ours are.
Q_LOGGING_CATEGORY(settings, "pelmora.settings", QtCriticalMsg)

} // namespace settings::logging
