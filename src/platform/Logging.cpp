#include "platform/Logging.h"

namespace platform::logging {

// Only messages at least this grave are on by default: none of ours are.
Q_LOGGING_CATEGORY(picture, "pelmora.picture", QtCriticalMsg)
Q_LOGGING_CATEGORY(settings, "pelmora.settings", QtCriticalMsg)
Q_LOGGING_CATEGORY(source, "pelmora.source", QtCriticalMsg)

} // namespace platform::logging
