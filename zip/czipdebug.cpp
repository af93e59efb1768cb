#include "zip/czipdebug.h"

Q_LOGGING_CATEGORY(lcZip, "tessaray.zip")
