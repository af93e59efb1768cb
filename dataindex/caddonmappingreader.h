#pragma once

#include "dataindex/indexinfo.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

// Reads the mapping list "mapping.index" on a worker thread and hands each mapped add-on over through
// addonFound() (the records arrive queued, each before completed()), or all of them at once through
// addonsRead(), whose records are freed with the signal when its receiver is gone before it arrives.
class CAddonMappingReader : public QObject
{
    Q_OBJECT

public:
    using Addons = std::shared_ptr<std::vector<std::unique_ptr<IndexInfo>>>;

    explicit CAddonMappingReader(QObject* parent = nullptr);

public slots:
    // completed(false) when the file does not exist (the user has mapped nothing yet) or can't be read;
    // completed(true) after the last add-on.
    void beginRead(const QString& file);

signals:
    void addonFound(IndexInfo* addon);
    void completed(bool succeed);
    // After completed(): every record read (none when the list is missing or can't be read).
    void addonsRead(CAddonMappingReader::Addons addons, bool succeed);
};

Q_DECLARE_METATYPE(CAddonMappingReader::Addons)
