#pragma once

#include "foundation/exception.h"

#include <QObject>
#include <QVariant>

class QDomDocument;

// Base of the program's XML readers and writers: the data index, the mapping list and the packages' file
// mappings. A reader reports a failure through taskError() and then neither completes nor hands out data.
class CSerializerBase : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Why a document could not be loaded.
    enum class LoadResult
    {
        Loaded,
        CannotOpen,    // missing, unreadable, or a folder
        InvalidFormat, // not well-formed XML, nested too deeply, or too large to be one of our files
    };

    // Our files are a few megabytes and a few levels deep. Far larger or deeper input is refused before the
    // DOM is built, so that a hostile file can't exhaust memory or the stack.
    static constexpr qint64 MaximumDocumentSize = 64 * 1024 * 1024;
    static constexpr int MaximumDocumentDepth = 64;

    // Reads and parses `path`; `detail` receives a reason for the log.
    static LoadResult loadDocument(const QString& path, QDomDocument& document, QString* detail = nullptr);
    // The same checks for a document already in memory (never CannotOpen).
    static LoadResult loadContent(const QByteArray& content, QDomDocument& document, QString* detail = nullptr);

public slots:
    virtual QVariant serialize(QVariant info) = 0;
    virtual QVariant deserialize(QVariant info) = 0;

signals:
    void taskCompleted();
    void taskError(Exception error);
    void taskStopped();

protected:
    // Who may read a written file besides its owner.
    enum class Readers
    {
        Everyone,  // files that live with an add-on
        OwnerOnly, // the program's own lists, which tell where the user's add-ons are (not on Windows)
    };

    // Writes the document as UTF-8 text. Through QSaveFile: the previous file stays whole until the new one
    // is complete, so a full disk or a crash never leaves a half-written mapping list behind.
    static bool writeDocument(const QDomDocument& document, const QString& path, QString* detail = nullptr,
                              Readers readers = Readers::Everyone);
};
