// Reads any input as the registry stand-in's file. The reader must not crash, hang or leak on any input;
// it must give the file back byte for byte; and a value it writes into the file must read back, with
// every other value as it was.

#include "platform/cregistryfile.h"

#include <cstdint>
#include <cstdlib>

namespace
{
const QString fuzzKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Fuzz");
const QString otherKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    CRegistryFile registry = CRegistryFile::parse(bytes);
    if (registry.content() != bytes)
        abort();

    // Names the seeds use, so that mutations reach values that exist.
    const QString before = registry.value(otherKey, QStringLiteral("Brelvar Tessaray"));
    if (!registry.setValue(fuzzKey, QStringLiteral("Name"), QStringLiteral("written")))
        abort();
    CRegistryFile reread = CRegistryFile::parse(registry.content());
    if (reread.value(fuzzKey, QStringLiteral("name")) != QLatin1String("written") ||
        reread.value(otherKey, QStringLiteral("Brelvar Tessaray")) != before)
        abort();

    reread.removeValue(fuzzKey, QStringLiteral("Name"));
    if (!CRegistryFile::parse(reread.content()).value(fuzzKey, QStringLiteral("Name")).isEmpty())
        abort();
    return 0;
}
