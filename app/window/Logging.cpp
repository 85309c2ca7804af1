#include "app/window/Logging.h"

Q_LOGGING_CATEGORY(lcWindow, "zarn.window")
