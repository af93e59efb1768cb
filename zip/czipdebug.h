#pragma once

#include <QLoggingCategory>

// The reader and writer explain their failures here (debug level); callers such as the CLI decide whether
// the category is shown.
Q_DECLARE_LOGGING_CATEGORY(lcZip)
