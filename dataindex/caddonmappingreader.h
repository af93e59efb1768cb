#pragma once

#include "dataindex/indexinfo.h"

#include <QObject>
#include <QString>

// Reads the mapping list "mapping.index" on a worker thread and hands each mapped add-on over through
// addonFound() (connect it to CDataIndex::addMappedAddon: the records arrive queued, each before
// completed()).
class CAddonMappingReader : public QObject
{
    Q_OBJECT

public:
    explicit CAddonMappingReader(QObject* parent = nullptr);

public slots:
    // completed(false) when the file does not exist (the user has mapped nothing yet) or can't be read;
    // completed(true) after the last add-on.
    void beginRead(const QString& file);

signals:
    void addonFound(IndexInfo* addon);
    void completed(bool succeed);
};
