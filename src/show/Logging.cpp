#include "show/Logging.h"

namespace show::logging {

// Only messages at least this grave are on by default: none of ours are.
Q_LOGGING_CATEGORY(show, "pelmora.show", QtCriticalMsg)

} // namespace show::logging
