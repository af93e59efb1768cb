#include "caddonmappingreader.h"

#include "dataindex/cdataindexserializer.h"
#include "foundation/clogger.h"

#include <QFileInfo>
#include <QMetaMethod>

CAddonMappingReader::CAddonMappingReader(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<IndexInfo*>("IndexInfo*");
    qRegisterMetaType<Addons>("CAddonMappingReader::Addons");
}

void CAddonMappingReader::beginRead(const QString& file)
{
    // The records gathered for addonsRead(), for a receiver that takes them all at once.
    const bool gather = isSignalConnected(QMetaMethod::fromSignal(&CAddonMappingReader::addonsRead));
    auto gathered = std::make_shared<std::vector<std::unique_ptr<IndexInfo>>>();
    connect(this, &CAddonMappingReader::completed, this, [this, gather, gathered](bool succeed) {
        if (gather)
            emit addonsRead(gathered, succeed);
    });
    if (gather)
        connect(
            this, &CAddonMappingReader::addonFound, this,
            [gathered](IndexInfo* addon) { gathered->emplace_back(addon); }, Qt::DirectConnection);
    BV_LOG(1, QStringLiteral("Reading mapping information. File: %0").arg(file));
    if (!QFileInfo::exists(file)) {
        BV_LOG(1, QStringLiteral("File not found, emit finish message."));
        emit completed(false);
        return;
    }
    BV_LOG(1, QStringLiteral("File %0 found. Parsing.").arg(file));

    CDataIndexSerializer serializer;
    // Without a receiver the serializer keeps and deletes the records itself.
    if (isSignalConnected(QMetaMethod::fromSignal(&CAddonMappingReader::addonFound)))
        connect(&serializer, &CDataIndexSerializer::addonFound, this, &CAddonMappingReader::addonFound);
    connect(&serializer, &CDataIndexSerializer::taskCompleted, this, [this]() {
        BV_LOG(1, QStringLiteral("Index parsed. Task completed."));
        emit completed(true);
    });
    // A damaged list must not leave the data index waiting for an end that never comes.
    connect(&serializer, &CDataIndexSerializer::taskError, this, [this](const Exception& error) {
        BV_LOG(6, QStringLiteral("Mapping list not read: %0").arg(error.message));
        emit completed(false);
    });
    BV_LOG(1, QStringLiteral("Deserialize data."));
    serializer.deserialize(file);
}
