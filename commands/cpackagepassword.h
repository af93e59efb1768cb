#pragma once

#include "webservices/cdownloadlogutils.h"

#include <QString>

// The password of the backup packages: the user id's decimal text, hashed and enciphered (hashedText). Made
// the same way for packing and unpacking, at run time, from the signed-in user; never stored.
inline QString packagePassword(int userId)
{
    return CDownloadLogUtils::hashedText(QString::number(userId));
}
