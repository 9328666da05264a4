#include "imaging/Logging.h"

namespace imaging::logging {

// Only messages at least this grave are on by default: none of ours are.
Q_LOGGING_CATEGORY(picture, "pelmora.picture", QtCriticalMsg)

} // namespace imaging::logging
