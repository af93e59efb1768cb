#include "cfilebrowser.h"

#include <QProcess>

bool CFileBrowser::showFile(const QString& path)
{
    const Launch launch = launchFor(path);
    return QProcess::startDetached(launch.program, launch.arguments);
}
