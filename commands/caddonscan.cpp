#include "caddonscan.h"

#include "dataindex/caddonsearcher.h"
#include "dataindex/cdataindex.h"
#include "dataindex/csimulators.h"
#include "foundation/cworkerthread.h"

namespace
{
// A searcher that owns the add-ons it searches: they die with it, on its thread.
class CCopySearcher : public CAddonSearcher
{
public:
    explicit CCopySearcher(const IndexInfoMap& addons)
    {
        for (const IndexInfo* addon : addons)
            m_copies.insert(addon->guid, addon->clone());
        setAddons(&m_copies);
    }
    ~CCopySearcher() override { qDeleteAll(m_copies); }

private:
    IndexInfoMap m_copies;
};
} // namespace

CAddonScan::CAddonScan(QObject* parent)
    : QObject(parent)
{
}

CAddonScan::~CAddonScan()
{
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
    }
}

void CAddonScan::start()
{
    if (m_thread)
        return;
    m_found.clear();
    m_records.clear();
    auto* searcher = new CCopySearcher(CDataIndex::instance()->supported().map());
    connect(searcher, &CAddonSearcher::searchStarted, this, &CAddonScan::searchStarted);
    connect(searcher, &CAddonSearcher::addonFound, this, [this](IndexInfo* addon, int) {
        m_records.emplace_back(addon);
        const IndexPathInfo* location = addon->paths.isEmpty() ? nullptr : addon->paths.first();
        if (!location)
            return;
        const FoundAddon found{addon->guid,
                               location->mappingGuid,
                               addon->name,
                               CSimulators::shortName(location->simulator),
                               location->directory,
                               location->patterns,
                               location->matchedTitles};
        m_found.append(found);
        emit addonFound(found);
    });
    connect(searcher, &CAddonSearcher::searchCompleted, this, [this]() {
        // Over for the caller as of now: a new scan may start while this thread winds down.
        if (m_thread)
            m_thread->quit();
        m_thread.clear();
        emit finished(m_found.size());
    });
    m_thread = CWorkerThread::start(searcher, QStringLiteral("Addon search"), &CAddonSearcher::search);
}

CAddonScan::Merge CAddonScan::addToMapped()
{
    QList<IndexInfo*> records;
    for (auto& record : m_records)
        records.append(record.release());
    m_records.clear();
    const CDataIndex::FoundAddonsMerge merge = CDataIndex::instance()->addFoundAddons(records);
    return Merge{merge.added, merge.alreadyMapped};
}
