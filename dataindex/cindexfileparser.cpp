#include "cindexfileparser.h"

#include "dataindex/cdataindexserializer.h"
#include "downloader/cfileutils.h"

#include <QDir>
#include <QFile>
#include <QThread>

CIndexFileParser::CIndexFileParser(const QString& target, const QString& candidate)
    : m_target(target)
    , m_candidate(candidate)
{
    qRegisterMetaType<CIndexFileParser::Result>("CIndexFileParser::Result");
}

void CIndexFileParser::run()
{
    Result result;
    if (!m_candidate.isEmpty()) {
        result.addons = parse(m_candidate, true, &result.candidateProblem);
        if (result.candidateProblem.isEmpty() && !CFileUtils::moveFile(m_candidate, m_target))
            result.candidateProblem = QStringLiteral("it could not replace %0").arg(QDir::toNativeSeparators(m_target));
        if (result.candidateProblem.isEmpty()) {
            result.replaced = true;
        } else {
            qDeleteAll(result.addons);
            result.addons.clear();
            QFile::remove(m_candidate);
        }
    }
    if (!result.replaced)
        result.addons = parse(m_target, false, &result.parseProblem);
    emit done(result);
    // One file, one run: the thread has nothing left to do, and its end deletes this parser.
    QThread::currentThread()->quit();
}

QList<IndexInfo*> CIndexFileParser::parse(const QString& path, bool complete, QString* problem)
{
    QList<IndexInfo*> addons;
    CDataIndexSerializer serializer;
    connect(&serializer, &CDataIndexSerializer::addonFound, &serializer,
            [&addons](IndexInfo* addon) { addons.append(addon); });
    connect(&serializer, &CDataIndexSerializer::taskError, &serializer,
            [problem](const Exception& error) { *problem = error.message; });
    serializer.deserialize(path);
    if (problem->isEmpty() && complete && !serializer.lastReadWasDataIndex())
        *problem = QStringLiteral("it has no \"cycle\", so it is no data index");
    if (problem->isEmpty() && complete && !serializer.readProblems().isEmpty())
        *problem = serializer.readProblems().join(QStringLiteral("; "));
    if (!problem->isEmpty()) {
        qDeleteAll(addons);
        addons.clear();
    }
    return addons;
}
