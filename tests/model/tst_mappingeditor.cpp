// The add-new-mapping editor's decisions: which folder a choice of add-on and simulator maps, when the user
// is asked, and which mappings are refused as duplicates.

#include "crecordingview.h"
#include "ctestsandbox.h"
#include "dataindex/cdataindex.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/csettings.h"
#include "model/cmappingeditor.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace
{
const QUuid Addon(QStringLiteral("{3f1d2a9e-7c41-4b6a-9e2f-0a1b2c3d4e5f}"));

void addLocation(IndexInfo* addon, int simulator, const QString& directory)
{
    auto* location = new IndexPathInfo;
    location->mappingGuid = QUuid::createUuid();
    location->simulator = simulator;
    location->directory = directory;
    addon->insertPath(location);
}
} // namespace

class TestMappingEditor : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { CDataIndex::resetInstance(); }

    void choices_data()
    {
        QTest::addColumn<int>("simulator");
        QTest::addColumn<QString>("knownRoot");    // stored before the choice; empty: none
        QTest::addColumn<QString>("answer");       // the dialog's answer ("" cancels)
        QTest::addColumn<QString>("mappedFolder"); // mapped before the choice, for this simulator
        QTest::addColumn<QStringList>("asked");    // dialog titles, in order
        QTest::addColumn<QString>("result");       // "folder <path>", "error <text>" or ""
        QTest::addColumn<QString>("storedRoot");

        const QString sims = QStringLiteral("sims/xp11");
        const QString plane = QDir::toNativeSeparators(QStringLiteral("sims/xp11/Aircraft/Probe"));
        const QString duplicate =
            QStringLiteral("error Duplicated mapping found. Your mapping for Probe Navigator (%0) will not be saved.");
        const QStringList exe{"X-Plane 11 not found", "Please select a location for your flight simulator..."};
        QTest::newRow("root known: no dialog") << int(SimXPlane11) << sims << ""
                                               << "" << QStringList{} << "folder " + plane << sims;
        QTest::newRow("root known, mapped already")
            << int(SimXPlane11) << sims << "" << plane << QStringList{} << duplicate.arg("XP11") << sims;
        QTest::newRow("executable chosen") << int(SimXPlane11) << ""
                                           << "sims/xp11/X-Plane.exe"
                                           << "" << exe << "folder " + plane << sims;
        QTest::newRow("executable dialog cancelled") << int(SimXPlane11) << ""
                                                     << ""
                                                     << "" << exe << ""
                                                     << "";
        QTest::newRow("user folder") << int(CMappingEditor::UserFolder) << ""
                                     << "mine/probe"
                                     << "" << QStringList{"Please select a directory"}
                                     << "folder " + QDir::toNativeSeparators(QStringLiteral("mine/probe")) << "";
        QTest::newRow("user folder mapped already")
            << int(CMappingEditor::UserFolder) << ""
            << "mine/probe" << QDir::toNativeSeparators("mine/probe") << QStringList{"Please select a directory"}
            << duplicate.arg("USER") << "";
        QTest::newRow("user folder dialog cancelled") << int(CMappingEditor::UserFolder) << ""
                                                      << ""
                                                      << "" << QStringList{"Please select a directory"} << ""
                                                      << "";
        QTest::newRow("no simulator yet") << -1 << ""
                                          << ""
                                          << "" << QStringList{} << ""
                                          << "";
    }
    void choices()
    {
        QFETCH(int, simulator);
        QFETCH(QString, knownRoot);
        QFETCH(QString, answer);
        QFETCH(QString, mappedFolder);
        QFETCH(QStringList, asked);
        QFETCH(QString, result);
        QFETCH(QString, storedRoot);

        CTestSandbox sandbox; // no simulator of this machine is found
        const auto inSandbox = [&](const QString& relative) {
            return relative.isEmpty() ? relative : QDir::toNativeSeparators(sandbox.filePath(relative));
        };
        if (!knownRoot.isEmpty())
            CSimulatorRoots::setRoot(simulator, inSandbox(knownRoot));
        auto* supported = new IndexInfo;
        supported->guid = Addon;
        supported->name = QStringLiteral("Probe Navigator");
        addLocation(supported, SimXPlane11, QStringLiteral("[XP11ROOT]\\Aircraft\\Probe"));
        addLocation(supported, SimFSX, QStringLiteral("[FSXROOT]\\SimObjects\\Airplanes\\Probe"));
        CDataIndex::instance()->addSupportedAddon(supported);
        if (!mappedFolder.isEmpty()) {
            auto* mapped = new IndexInfo;
            mapped->guid = Addon;
            mapped->name = supported->name;
            addLocation(mapped, simulator, inSandbox(mappedFolder));
            CDataIndex::instance()->addMappedAddon(mapped);
        }

        CRecordingView view;
        view.directories = QStringList{inSandbox(answer)};
        view.openFiles = QStringList{inSandbox(answer)};
        CMappingEditor editor(&view);
        QStringList results;
        connect(&editor, &CMappingEditor::onAddonSelected, this, [&](const AddonInsertInfo& info) {
            QCOMPARE(info.addonGuid, Addon);
            QCOMPARE(info.simulator, simulator);
            results.append(QStringLiteral("folder ") + info.folder);
        });
        connect(&editor, &CMappingEditor::onAddonAddError, this,
                [&](const Exception& error) { results.append(QStringLiteral("error ") + error.message); });
        editor.selectionChanged(Addon, simulator);

        QCOMPARE(view.asked, asked);
        QString expected = result;
        if (result.startsWith(QLatin1String("folder ")))
            expected = QStringLiteral("folder ") + inSandbox(result.mid(7));
        QCOMPARE(results, expected.isEmpty() ? QStringList{} : QStringList{expected});
        QCOMPARE(CSettings::stringValue(SettingsKey::SimulatorRootPrefix + CSimulators::shortName(SimXPlane11)),
                 inSandbox(storedRoot));
    }
};

QTEST_GUILESS_MAIN(TestMappingEditor)
#include "tst_mappingeditor.moc"
