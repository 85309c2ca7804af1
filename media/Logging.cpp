#include "media/Logging.h"

Q_LOGGING_CATEGORY(lcMedia, "zarn.media")
