#include "cfilebrowser.h"
#include "platform/clocalpath.h"

CFileBrowser::Launch CFileBrowser::launchFor(const QString& path)
{
    // Explorer wants "/select," and the path as two arguments, the path with backslashes.
    return Launch{QStringLiteral("explorer"), {QStringLiteral("/select,"), CLocalPath::toNative(path)}};
}
