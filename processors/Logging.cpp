#include "processors/Logging.h"

Q_LOGGING_CATEGORY(lcProcessors, "zarn.processors")
