#pragma once

#include "dataindex/indexinfo.h"

#include <QList>
#include <QObject>
#include <QString>

// Parses a data index on a worker thread, so that a large index never freezes the window, and hands the
// records over in one piece. With `candidate` set, that freshly downloaded file is first checked: it
// replaces `target` only when it reads completely as a data index, and its records are the result; one
// that does not leaves `target` alone (and is deleted), and `target` is parsed instead.
class CIndexFileParser : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        QList<IndexInfo*> addons; // the receiver takes them over
        bool replaced = false;    // the candidate is the target now
        QString candidateProblem; // why the candidate was not taken
        QString parseProblem;     // why the target could not be read
    };

    CIndexFileParser(const QString& target, const QString& candidate = QString());

public slots:
    // Emits done() and ends the thread it runs on.
    void run();

signals:
    void done(CIndexFileParser::Result result);

private:
    // Reads `path`; the records, or an empty list and `problem`. `complete` demands a whole data index.
    static QList<IndexInfo*> parse(const QString& path, bool complete, QString* problem);

    QString m_target;
    QString m_candidate;
};

Q_DECLARE_METATYPE(CIndexFileParser::Result)
