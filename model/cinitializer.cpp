#include "cinitializer.h"

#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "version.h"
#include "webservices/cdatacycle.h"
#include "webservices/cuser.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMutex>
#include <QPointer>
#include <QThread>

CInitializer* CInitializer::instance()
{
    return holder(false);
}

void CInitializer::resetInstance()
{
    holder(true);
}

CInitializer* CInitializer::holder(bool reset)
{
    static QMutex mutex;
    static QPointer<CInitializer> object; // forgets an object deleted with the application
    QMutexLocker locker(&mutex);
    if (reset) {
        delete object.data();
        return nullptr;
    }
    if (!object) {
        // Its slots must run where the cycle and the session report: on the application's thread.
        QCoreApplication* application = QCoreApplication::instance();
        const bool onApplicationThread = !application || QThread::currentThread() == application->thread();
        object = new CInitializer(onApplicationThread ? application : nullptr);
        if (!onApplicationThread)
            object->moveToThread(application->thread());
    }
    return object.data();
}

CInitializer::CInitializer(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<Exception>("Exception");
    BV_LOG(1, QStringLiteral("Try to initialize."));
    connectSession();
}

void CInitializer::connectSession()
{
    for (const QMetaObject::Connection& connection : {m_passwordAuth, m_userCompleted, m_userFailed})
        disconnect(connection);
    // The session's failures all arrive as REST steps with their number; it has no other error signal.
    CUser* user = CUser::instance();
    m_passwordAuth = connect(user, &CUser::passwordAuthCompleted, this, &CInitializer::passwordAuthCompleted);
    m_userCompleted = connect(user, &CUser::onRESTCompleted, this, &CInitializer::onUserInitialized);
    m_userFailed = connect(user, &CUser::onRESTError, this, &CInitializer::onUserInitializeFailed);
}

void CInitializer::initialize()
{
    connectSession();
    initializeDataCycle();
    CSettings::setValue(SettingsKey::ProgramVersion, QStringLiteral(TESSARAY_VERSION));
}

void CInitializer::initializeUser()
{
    CUser::instance()->initialize();
}

void CInitializer::initializeDataCycle()
{
    CDataCycle* dataCycle = CDataCycle::instance();
    disconnect(m_cycleCompleted);
    disconnect(m_cycleError);
    // Connected before the request starts, so that no result can pass unseen.
    m_cycleCompleted = connect(dataCycle, &CDataCycle::completed, this, &CInitializer::onDataCycleCompleted);
    m_cycleError = connect(dataCycle, &CDataCycle::error, this, &CInitializer::onDataCycleError);
    dataCycle->initialize();
}

void CInitializer::onDataCycleCompleted(int webServiceId)
{
    BV_LOG(1, QStringLiteral("Data cycle fetched. Web Service Id = %0").arg(webServiceId));
    initializeUser();
}

void CInitializer::onDataCycleError(int webServiceId, int errorNumber, const QString& message)
{
    Q_UNUSED(webServiceId)
    const Exception ex = BV_EXCEPTION(errorNumber, 8, message);
    emit error(ex);
    emit completed(false);
    CLogger::logException(ex);
}

void CInitializer::onUserInitialized(ERESTService service, const QJsonDocument& content)
{
    Q_UNUSED(content)
    if (service == ERESTService::PasswordCheck || service == ERESTService::UserRecord)
        emit completed(true);
}

void CInitializer::onUserInitializeFailed(ERESTService service, const QJsonDocument& message)
{
    const QString text = QString::fromUtf8(message.toJson(QJsonDocument::Compact));
    qDebug().noquote() << text;
    emit error(BV_EXCEPTION(int(service), 6, text));
    emit completed(false);
}

void CInitializer::onError(const Exception& ex)
{
    emit error(ex);
    emit completed(false);
}
