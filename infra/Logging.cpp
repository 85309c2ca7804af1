#include "infra/Logging.h"

Q_LOGGING_CATEGORY(lcInfra, "zarn.infra")
