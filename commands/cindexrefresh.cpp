#include "cindexrefresh.h"

#include "dataindex/cdataindex.h"

CIndexRefresh::CIndexRefresh(QObject* parent)
    : QObject(parent)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this]() { end(false); });
}

void CIndexRefresh::start(int timeoutMilliseconds)
{
    if (m_running)
        return;
    m_running = true;
    m_outcome = Outcome();
    CDataIndex* index = CDataIndex::instance();
    connect(index, &CDataIndex::completed, this, [this](bool succeed) {
        m_outcome.completed = succeed;
        end(true);
    });
    connect(index, &CDataIndex::error, this, [this, index](int, int number, const QString& message) {
        m_outcome.errors.append(QStringLiteral("error %0: %1").arg(number).arg(message));
        // Some failures end the check; others are followed by the local copy and completed().
        if (!index->isChecking())
            end(true);
    });
    m_timeout.start(timeoutMilliseconds);
    index->initialize();
}

void CIndexRefresh::end(bool ended)
{
    if (!m_running)
        return;
    m_running = false;
    m_timeout.stop();
    CDataIndex::instance()->disconnect(this);
    m_outcome.ended = ended;
    emit finished();
}
