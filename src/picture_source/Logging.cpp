#include "picture_source/Logging.h"

namespace source::logging {

// Only messages at least this grave are on by default: none of ours are.
Q_LOGGING_CATEGORY(source, "pelmora.source", QtCriticalMsg)

} // namespace source::logging
