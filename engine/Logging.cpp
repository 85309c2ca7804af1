#include "engine/Logging.h"

Q_LOGGING_CATEGORY(lcEngine, "zarn.engine")
