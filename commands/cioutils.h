#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Where the program keeps its files, and the file and path helpers every part shares.
// Stateless: nothing is cached; every call reads the environment, the registry or the settings again.
class CIOUtils : public QObject
{
    Q_OBJECT

public:
    // The program data directory shared by all users; always ends with a separator. Not created here.
    //   1. $TESSARAY_DATA_DIR when set;
    //   2. the registry's "Common AppData" shell folder + "Brelvar/FMSClient/" when that value is present;
    //   3. Windows: the application directory before Vista, else the first drive's "ProgramData" folder;
    //      elsewhere the generic data location + "/Brelvar/FMSClient/".
    static QString dataDirectory();

    // Step 2 and 3 of dataDirectory() as a pure rule, so that the Windows fall-backs can be exercised anywhere.
    // `windowsVersion` is QSysInfo::WinVersion's value (0x80 is Vista); `firstDrive` the first of QDir::drives().
    static QString windowsDataDirectory(const QString& commonAppData, int windowsVersion, const QString& firstDrive,
                                        const QString& applicationDirectory);

    static QString settingsFilePath();
    static QString dataIndexFilePath();
    static QString mappingListFilePath();
    // The log folder is created with its parents by every call.
    static QString logFilePath(const QString& fileName);

    // The web service's base address: the setting "server/address", or the built-in default.
    static QString serverAddress();

    // QDir::cleanPath of a + separator + b.
    static QString joinPath(const QString& a, const QString& b);
};
