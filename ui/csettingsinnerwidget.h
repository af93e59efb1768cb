#pragma once

#include "csettingsrecord.h"
#include "webservices/serverregion.h"

#include <QHash>
#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

// The controls of the settings page, section by section from "Account" to "Proxy". It shows a record and
// builds one from what the user set; the buttons that act (unregister, browse, open a folder ...) only
// signal, the view decides.
class CSettingsInnerWidget : public QWidget
{
    Q_OBJECT

public:
    // One row of the "Paths" section.
    struct SimulatorRow
    {
        int simulator;      // the simulator flag
        QString label;      // "Flight Simulator X"
        QString fileFilter; // of the browse dialog: "Flight Simulator X Executable (FSX.exe)"
    };
    // In the order of the page.
    static const QList<SimulatorRow>& simulatorRows();

    // The text under the notification slider at `position` (0 "every hour" ... 9 off).
    static QString notificationText(int position);
    // The text under the chunk slider: a piece of (position + 8) × 64 KB.
    static QString chunkSizeText(int position);

    explicit CSettingsInnerWidget(QWidget* parent = nullptr);

    void setRecord(const CSettingsRecord& record);
    CSettingsRecord record() const;

    void setAccount(const QString& userName, const QString& revision, const QString& revisionText);
    void setAccountVisible(bool visible);
    // The download regions to choose from; a stored code that is not among them is kept as an entry.
    void setRegions(const QList<ServerRegion>& regions);
    // Without the agent program (Linux) nothing runs in the background: the interval and the start with
    // the computer are off, and a line says what schedules updates instead.
    void setAgentAvailable(bool available);
    // A browse result: the folder goes into the row; the Flight Simulator and Prepar3D rows also switch their
    // automatic search on.
    void setSimulatorFolder(int simulator, const QString& folder);
    void setBackupFolder(const QString& folder);
    QString backupFolder() const;

signals:
    void unregisterRequested();
    void redownloadRequested();
    void aboutQtRequested();
    void backupBrowseRequested();
    void openLocationRequested();
    void simulatorBrowseRequested(int simulator);

private:
    QGroupBox* section(const QString& name, const QString& title);
    QFormLayout* formOf(QGroupBox* box);
    QLabel* rowLabel(const QString& text, QWidget* buddy);
    void buildAccount();
    void buildSoftwareAndIndex();
    void buildBackup();
    void buildNotification();
    void buildChunks();
    void buildInterface();
    void buildPaths();
    void buildServer();
    void buildProxy();
    void updateProxyControls();
    void updateNotificationText();
    void selectRegion(const QString& code);

    CSettingsRecord m_shown; // carries what has no control (the server address)

    QList<QLabel*> m_rowLabels;
    QGroupBox* m_account = nullptr;
    QLabel* m_welcome = nullptr;
    QLabel* m_revision = nullptr;
    QCheckBox* m_autoBackup = nullptr;
    QCheckBox* m_removeOldBackup = nullptr;
    QLineEdit* m_backupPath = nullptr;
    QSlider* m_notification = nullptr;
    QLabel* m_notificationText = nullptr;
    QCheckBox* m_autoStart = nullptr;
    QLabel* m_agentNote = nullptr;
    QSlider* m_chunks = nullptr;
    QLabel* m_chunkText = nullptr;
    QComboBox* m_language = nullptr;
    QCheckBox* m_useTheme = nullptr;
    QCheckBox* m_rememberSorting = nullptr;
    QHash<int, QLineEdit*> m_simulatorPaths;
    QHash<int, QCheckBox*> m_simulatorSearch;
    QComboBox* m_region = nullptr;
    QCheckBox* m_enableProxy = nullptr;
    QLineEdit* m_proxyAddress = nullptr;
    QSpinBox* m_proxyPort = nullptr;
    QCheckBox* m_proxyUseAuth = nullptr;
    QLineEdit* m_proxyUserName = nullptr;
    QLineEdit* m_proxyPassword = nullptr;
    QLineEdit* m_proxyDomain = nullptr;
};
