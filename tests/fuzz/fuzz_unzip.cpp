// Opens any input as an archive and verifies and extracts every entry (into memory). The reader must not
// crash, hang or leak on any input, and a name it accepts for extraction must stay below the target folder.

#include "zip/czipentryname.h"
#include "zip/unzip.h"

#include <QBuffer>
#include <QDir>
#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

namespace
{
// Accepts and forgets everything written to it, so that large entries cost no memory.
class CNullDevice : public QIODevice
{
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override { return size; }
};

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(quiet);
    QLoggingCategory::setFilterRules(QStringLiteral("tessaray.zip.debug=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);

    UnZip unzip;
    // The seeds' encrypted entries use this password; mutations then reach the decrypting paths.
    unzip.setPassword(QStringLiteral("secret"));
    unzip.open(&buffer);
    if (!unzip.isOpen())
        return 0;
    unzip.entries();
    unzip.verify();

    const QStringList names = unzip.entryNames();
    for (const QString& name : names) {
        CNullDevice sink;
        sink.open(QIODevice::WriteOnly);
        unzip.extractFile(name, &sink);
        if (CZipEntryName::isSafe(name)) {
            QString relative = name;
            relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
            const QString path = QDir::cleanPath(QStringLiteral("/target/folder/") + relative);
            if (!path.startsWith(QLatin1String("/target/folder/")) && path != QLatin1String("/target/folder"))
                abort();
        }
    }
    return 0;
}
