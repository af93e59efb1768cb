#pragma once

#include "commands/addonbackupinfo.h"
#include "commands/commandprogress.h"
#include "cscopedenvironment.h"
#include "ctestdevserver.h"
#include "ctestsandbox.h"
#include "foundation/exception.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>

class CQueueable;

// A signed-in user, the development service publishing one add-on's data package, and that add-on mapped
// to a folder of the sandbox with an older edition installed: what the add-on commands run against.
class CCommandWorld
{
public:
    static const QUuid Addon;
    static const QUuid Mapping;

    CCommandWorld();
    ~CCommandWorld();

    bool isReady() const { return m_ready; }
    QString problem() const { return m_problem; }
    CTestDevServer& service() { return *m_service; }
    QString addonFolder() const;
    QString installedIndex() const;

    // The package's files by their place below the add-on folder, and the previous edition's.
    const QMap<QString, QByteArray>& newFiles() const { return m_newFiles; }
    const QMap<QString, QByteArray>& oldFiles() const { return m_oldFiles; }
    // Rewrites the served package with `mappingXml` as its file mapping and `entries` (name → bytes).
    void publishPackage(const QByteArray& mappingXml, const QMap<QString, QByteArray>& entries);
    // The package the service publishes, as bytes.
    QByteArray packageBytes() const;
    // Each of `files` is in the add-on folder with exactly these bytes (a failure says which is not).
    QString differenceFrom(const QMap<QString, QByteArray>& files) const;

    struct Outcome
    {
        int completions = 0;
        QList<Exception> errors;
        CommandResult result;
        QList<int> errorNumbers() const;
    };
    // Runs the command through a command queue, as the window does, until its taskCompleted (and a moment
    // longer, to catch a second one). `onPulse` sees each pulse on the command's thread.
    using PulseWatch = std::function<void(CQueueable*, const CommandProgress&)>;
    Outcome run(CQueueable* command, const PulseWatch& onPulse = {});
    Outcome update(const PulseWatch& onPulse = {});
    Outcome backup();
    Outcome restore(const AddonBackupInfo& backup, int mode);

    // A file mapping of the package: three files, one renamed, two in nested folders.
    static QByteArray mappingXml(int revision);
    // Makes `service` the program's server, publishing a data index of the one add-on, whose data package is
    // packages/probe.zip; false with the reason when it can't.
    static bool serveProbeIndex(CTestDevServer& service, QString* problem);

private:
    CTestSandbox m_data;
    CScopedEnvironment m_environment;
    std::unique_ptr<CTestDevServer> m_service;
    QMap<QString, QByteArray> m_newFiles;
    QMap<QString, QByteArray> m_oldFiles;
    bool m_ready = false;
    QString m_problem;
};
