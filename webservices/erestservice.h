#pragma once

#include <QMetaType>

// The REST step that a result of the user session belongs to. The numbers become error codes of the
// start-up sequence: don't renumber.
enum class ERESTService
{
    PasswordCheck = 0,   // the token request of a password log-in
    UserRecord = 1,      // the user record (log-in by token), and the log-in as a whole
    DownloadRegions = 3, // the download regions during a password log-in
};

Q_DECLARE_METATYPE(ERESTService)
