#include "song/Logging.h"

Q_LOGGING_CATEGORY(lcSong, "zarn.song")
