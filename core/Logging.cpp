#include "core/Logging.h"

Q_LOGGING_CATEGORY(lcCore, "zarn.core")
