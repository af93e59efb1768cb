#pragma once

#include <QLoggingCategory>

// The reader and writer explain their failures in this category (debug level); callers such as the CLI
// decide whether it is shown.
Q_DECLARE_LOGGING_CATEGORY(lcZip)

// One debug message in the category, when it is enabled.
void zipDebug(const QString& message);
