#pragma once

#include <QString>
#include <QUuid>

// Where the program keeps its own files: the program data directory shared by all users and the fixed
// names in it. The lowest service of the program (the logger and the settings ask it), so it depends on
// nothing but the registry. Stateless: every call reads the environment and the registry again.
class CDataLocations
{
public:
    // The program data directory; always ends with a separator. Not created here.
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

    // QDir::cleanPath of a + separator + b.
    static QString joinPath(const QString& a, const QString& b);

    // The GUID without braces + ".index": the name of an installed package's file mapping.
    static QString packageIndexName(const QUuid& addonGuid);
    // The file mapping of the package installed in `addonFolder`.
    static QString installedIndexPath(const QString& addonFolder, const QUuid& addonGuid);
};
