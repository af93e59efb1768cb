// The main window's Help menu, its settings view, and what it says about the proxy and the connection.
#include "cmainwindow.h"
#include "cmessagelist.h"
#include "commands/cdiagnosticsbundle.h"
#include "cproxycredentialsdialog.h"
#include "csettingsview.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "model/cbackgroundwork.h"
#include "model/cmainwindowmodel.h"
#include "webservices/cnetworkstatus.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>

namespace
{
struct DiagnosticsResult
{
    bool written = false;
    Exception error;
};
} // namespace

void CMainWindow::buildHelpMenu()
{
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    m_diagnosticsAction = help->addAction(tr("Save &Diagnostics..."), this, &CMainWindow::saveDiagnostics);
    m_diagnosticsAction->setObjectName(QStringLiteral("saveDiagnosticsAction"));
    m_diagnosticsAction->setStatusTip(tr("Save the logs, settings and folders the program uses in one zip for a "
                                         "support request, without your password and log-in"));
    help->addSeparator();
    help->addAction(tr("About &Qt"), qApp, &QApplication::aboutQt);
}

void CMainWindow::saveDiagnostics()
{
    const QString title = tr("Save Diagnostics");
    const QString proposed =
        QDir(QDir::homePath())
            .filePath(QStringLiteral("tessaray-diagnostics-%0.zip")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString path = m_fileAnswerer ? m_fileAnswerer(title)
                                        : QFileDialog::getSaveFileName(this, title, proposed, tr("Zip Files (*.zip)"));
    if (path.isEmpty())
        return;
    BV_LOG(1, QStringLiteral("Writing diagnostics to %0").arg(QDir::toNativeSeparators(path)));
    // Logs and files of many megabytes: not on this thread.
    m_diagnosticsAction->setEnabled(false);
    runInBackground<DiagnosticsResult>(
        this, QStringLiteral("diagnostics"),
        [path]() {
            DiagnosticsResult result;
            result.written = CDiagnosticsBundle::write(path, false, &result.error);
            return result;
        },
        [this, path](const DiagnosticsResult& result) {
            m_diagnosticsAction->setEnabled(true);
            if (result.written) {
                addMessage(2, tr("The diagnostics were saved to %0. You can attach this file to a support request.")
                                  .arg(QDir::toNativeSeparators(path)));
            } else {
                BV_LOG(6, result.error.toString());
                addMessage(7, result.error.message);
            }
        });
}

void CMainWindow::setUpSettingsView(CSettingsView* view)
{
    CSettingsViewHooks& hooks = view->hooks();
    hooks.question = [this](const QString& title, const QString& text, const QStringList& buttons) {
        return question(title, text, buttons);
    };
    hooks.information = [this](const QString& title, const QString& text) { information(title, text); };
    hooks.getExistingDirectory = [this](const QString& title, const QString& start) {
        return m_fileAnswerer ? m_fileAnswerer(title) : QFileDialog::getExistingDirectory(this, title, start);
    };
    hooks.getOpenFileName = [this](const QString& title, const QString& start, const QString& filter) {
        return m_fileAnswerer ? m_fileAnswerer(title) : QFileDialog::getOpenFileName(this, title, start, filter);
    };
    hooks.hasRunningTasks = [this]() { return m_hooks.hasRunningTasks && m_hooks.hasRunningTasks(); };
    connect(view, &CSettingsView::settingSaved, this, [this]() {
        addMessage(2, tr("Your settings have been saved."));
        applyStyle();
    });
    connect(view, &CSettingsView::saveProblem, this, [this](const QString& text) { addMessage(6, text); });
    connect(view, &CSettingsView::requestSorting, this, &CMainWindow::sortItem);
}

CSettingsView* CMainWindow::settingsView() const
{
    return dynamic_cast<CSettingsView*>(m_settings);
}

bool CMainWindow::askProxyCredentials(const QString& proxyName, QString* userName, QString* password)
{
    // Asked once: a second refusal of the same proxy is not asked about again in this run.
    if (m_proxiesAsked.contains(proxyName))
        return false;
    m_proxiesAsked.append(proxyName);
    BV_LOG(6, QStringLiteral("The proxy %0 asks for a user name and password.").arg(proxyName));
    *userName = CSettings::stringValue(SettingsKey::ProxyUserName);
    if (m_proxyAnswerer)
        return m_proxyAnswerer(proxyName, userName, password);
    return CProxyCredentialsDialog::ask(this, proxyName, userName, password);
}

void CMainWindow::showConnectionProblem()
{
    // The proxy or a certificate stands between the program and the service: say which, once per problem.
    const QString problem = CNetworkStatus::instance()->lastProblem();
    if (problem.isEmpty()) {
        if (!m_shownConnectionProblem.isEmpty())
            m_messages->removeMessage(m_shownConnectionProblem);
        m_shownConnectionProblem.clear();
        return;
    }
    if (problem == m_shownConnectionProblem)
        return;
    if (!m_shownConnectionProblem.isEmpty())
        m_messages->removeMessage(m_shownConnectionProblem);
    m_shownConnectionProblem = problem;
    addMessage(7, problem);
}
