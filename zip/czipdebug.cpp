#include "zip/czipdebug.h"

Q_LOGGING_CATEGORY(lcZip, "tessaray.zip")

void zipDebug(const QString& message)
{
    if (lcZip().isDebugEnabled())
        QMessageLogger(nullptr, 0, nullptr, lcZip().categoryName()).debug().noquote() << message;
}
