#include "cfilebrowser.h"
#include "platform/clocalpath.h"

#include <QFileInfo>
#include <QUrl>

CFileBrowser::Launch CFileBrowser::launchFor(const QString& path)
{
    const QString file = CLocalPath::toNative(path);
    // dbus-send splits array items at commas, so a comma in the file's URL is written encoded.
    QString url = QString::fromUtf8(QUrl::fromLocalFile(file).toEncoded());
    url.replace(QLatin1Char(','), QStringLiteral("%2C"));
    const QFileInfo info(file);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();

    // One detached shell line, so that the fall-back runs only when no file manager answers the call, and the
    // caller never waits for the desktop. The texts reach the shell as positional arguments, never as code.
    const QString script = QStringLiteral(
        "dbus-send --session --print-reply --dest=org.freedesktop.FileManager1 --type=method_call "
        "/org/freedesktop/FileManager1 org.freedesktop.FileManager1.ShowItems \"array:string:$1\" \"string:\" "
        ">/dev/null 2>&1 || exec xdg-open \"$2\"");
    return Launch{QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), url, folder}};
}
