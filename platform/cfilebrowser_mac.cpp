#include "cfilebrowser.h"
#include "platform/clocalpath.h"

CFileBrowser::Launch CFileBrowser::launchFor(const QString& path)
{
    // "open -R" reveals the file in a Finder window, selected.
    return Launch{QStringLiteral("open"), {QStringLiteral("-R"), CLocalPath::toNative(path)}};
}
