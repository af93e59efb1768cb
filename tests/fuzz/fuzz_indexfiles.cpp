// Reads any input as the program's own XML files: as a data index or mapping list, and as a package's file
// mapping (with its version record). The readers must not crash, hang or leak on any input, and what they
// hand out must be well-formed: every add-on has a GUID and at least one location.

#include "dataindex/cdataindexserializer.h"
#include "dataindex/cfilemappingserializer.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace
{
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

QTemporaryDir* scratch = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qInstallMessageHandler(quiet);
    static QCoreApplication application(*argc, *argv);
    scratch = new QTemporaryDir;
    // Error lines of the readers go to a data directory of the fuzzer's own (and no log file is named).
    qputenv("TESSARAY_DATA_DIR", QFile::encodeName(scratch->path()));
    qputenv("TESSARAY_REGISTRY_FILE", QFile::encodeName(scratch->filePath(QStringLiteral("registry.ini"))));
    // Every simulator disabled and the standard locations' probes answered once: the readers, not the
    // lookups on this machine, are what is fuzzed, and each input should take microseconds.
    QFile settings(scratch->filePath(QStringLiteral("settings.conf")));
    if (!settings.open(QIODevice::WriteOnly))
        abort();
    settings.write("[simulators]\ndisable=2147483647\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = scratch->filePath(QStringLiteral("input.xml"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    CDataIndexSerializer index;
    QObject::connect(&index, &CDataIndexSerializer::addonFound, [](IndexInfo* addon) {
        std::unique_ptr<IndexInfo> owned(addon);
        if (owned->guid.isNull() || owned->paths.isEmpty())
            abort();
    });
    index.deserialize(path);

    CFileMappingSerializer mapping;
    FileMappingSerializeInfo request{path, QStringLiteral("FSX")};
    mapping.deserialize(QVariant::fromValue(&request));
    request.simulator = QStringLiteral("XP11");
    mapping.deserialize(QVariant::fromValue(&request));
    CFileMappingSerializer::deserializeToVersion(path);
    return 0;
}
