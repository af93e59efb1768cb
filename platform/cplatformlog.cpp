#include "cplatformlog.h"

#include <QDebug>

#include <atomic>

namespace
{
std::atomic<CPlatformLog::Sink> currentSink{nullptr};
} // namespace

void CPlatformLog::setSink(Sink sink)
{
    currentSink.store(sink);
}

void CPlatformLog::write(int level, const char* function, const char* file, int line, const QString& message)
{
    if (const Sink sink = currentSink.load()) {
        sink(level, function, file, line, message);
        return;
    }
    // No log yet: only errors are worth the debug output; the probes would flood it.
    if (level >= 6)
        qWarning().noquote() << message;
}
