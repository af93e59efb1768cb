#include "cnetworkaccess.h"

#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "webservices/cdownloadlogutils.h"

#include <QAuthenticator>
#include <QDate>
#include <QFile>
#include <QHostAddress>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QThread>
#include <QUrl>
#include <QWaitCondition>

#include <atomic>

namespace
{
// The words for a reply's certificate failure, set on the reply when the manager reports it, so that
// whoever handles the reply's end can show them.
const char* const CertificateProblemProperty = "tessarayCertificateProblem";

struct Credentials
{
    QString userName;
    QString password;
};

// The credentials of the settings as a proxy takes them: "domain\user" when a domain is entered.
Credentials storedCredentials()
{
    if (!CSettings::boolValue(SettingsKey::ProxyUseAuth))
        return {};
    const QString user = CSettings::stringValue(SettingsKey::ProxyUserName).trimmed();
    const QString domain = CSettings::stringValue(SettingsKey::ProxyDomain).trimmed();
    return {domain.isEmpty() || user.isEmpty() ? user : domain + QLatin1Char('\\') + user,
            CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProxyPassword))};
}

// The proxy entered in the settings; DefaultProxy when none is, so that the system's is taken.
QNetworkProxy enteredProxy()
{
    if (!CSettings::boolValue(SettingsKey::EnableProxy))
        return QNetworkProxy(QNetworkProxy::DefaultProxy);
    // Users paste "http://host:port/" as often as the bare host.
    QString host = CSettings::stringValue(SettingsKey::ProxyAddress).trimmed();
    const QUrl asUrl(host.contains(QLatin1String("://")) ? host : QStringLiteral("http://") + host);
    host = asUrl.host();
    const int port = asUrl.port(CSettings::intValue(SettingsKey::ProxyPort));
    if (host.isEmpty() || port <= 0 || port > 65535) {
        static std::atomic<bool> logged{false};
        if (!logged.exchange(true))
            BV_LOG(6, QStringLiteral("The proxy is switched on but its address \"%0\" or port %1 is not usable; the "
                                     "system's proxy settings are used instead.")
                          .arg(CSettings::stringValue(SettingsKey::ProxyAddress))
                          .arg(port));
        return QNetworkProxy(QNetworkProxy::DefaultProxy);
    }
    QNetworkProxy proxy(QNetworkProxy::HttpProxy, host, quint16(port));
    const Credentials credentials = storedCredentials();
    proxy.setUser(credentials.userName);
    proxy.setPassword(credentials.password);
    return proxy;
}

// Asked for every connection a manager opens, so that a proxy entered while the program runs is used by
// the next request.
class CProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        // A proxy elsewhere would reach its own machine under these names, not this one.
        const QString host = query.peerHostName();
        if (host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")) ||
            QHostAddress(host).isLoopback())
            return {QNetworkProxy::NoProxy};
        const QNetworkProxy entered = enteredProxy();
        if (entered.type() != QNetworkProxy::DefaultProxy)
            return {entered};
        // On Linux: http_proxy, https_proxy and no_proxy.
        const QList<QNetworkProxy> system = systemProxyForQuery(query);
        return system.isEmpty() ? QList<QNetworkProxy>{QNetworkProxy::NoProxy} : system;
    }
};

// The window's prompt, and what happened to it in this run. While it is open, requests of other threads
// that meet the proxy wait for its answer instead of asking again.
struct PromptState
{
    QMutex mutex;
    QWaitCondition answered;
    QPointer<QObject> context;
    CNetworkAccess::CredentialsPrompt prompt;
    bool asking = false;
    bool declined = false;
};

PromptState& promptState()
{
    static PromptState state;
    return state;
}

// Fills the authenticator from the settings unless the proxy has just refused those; then from the
// window's prompt. Left untouched, the request fails with the proxy's refusal.
void answerProxy(const QNetworkProxy& proxy, QAuthenticator* authenticator)
{
    PromptState& state = promptState();
    QMutexLocker locker(&state.mutex);
    for (;;) {
        const Credentials stored = storedCredentials();
        const bool refused = authenticator->user() == stored.userName && authenticator->password() == stored.password;
        if (!stored.userName.isEmpty() && !refused) {
            authenticator->setUser(stored.userName);
            authenticator->setPassword(stored.password);
            return;
        }
        if (!state.asking)
            break;
        // A request made from the open prompt's own event loop cannot wait for it.
        if (state.context && state.context->thread() == QThread::currentThread())
            return;
        state.answered.wait(&state.mutex);
    }
    const QPointer<QObject> context = state.context;
    const CNetworkAccess::CredentialsPrompt prompt = state.prompt;
    if (!prompt || state.declined || !context)
        return;

    state.asking = true;
    locker.unlock();
    Credentials answer;
    bool given = false;
    const QString name = CNetworkAccess::proxyName(proxy);
    const auto ask = [&]() { given = prompt(name, &answer.userName, &answer.password) && !answer.userName.isEmpty(); };
    if (context->thread() == QThread::currentThread())
        ask();
    else
        QMetaObject::invokeMethod(context, ask, Qt::BlockingQueuedConnection);
    locker.relock();
    state.asking = false;
    state.answered.wakeAll();
    if (!given) {
        state.declined = true;
        BV_LOG(6, QStringLiteral("No user name and password given for the proxy %0.").arg(name));
        return;
    }
    CSettings::setValue(SettingsKey::ProxyUseAuth, true);
    CSettings::setValue(SettingsKey::ProxyUserName, answer.userName);
    CSettings::setValue(SettingsKey::ProxyPassword, CDownloadLogUtils::encryptText(answer.password));
    const Credentials stored = storedCredentials(); // with the domain of the settings, when one is entered
    authenticator->setUser(stored.userName);
    authenticator->setPassword(stored.password);
}

struct CaFile
{
    QSslConfiguration configuration;
    QString problem; // why the variable's file added nothing
};

// Read once per process; the default configuration then carries the extra authorities for every request.
const CaFile& caFile()
{
    static const CaFile file = []() {
        CaFile loaded{QSslConfiguration::defaultConfiguration(), QString()};
        const QString path = qEnvironmentVariable(CNetworkAccess::CaFileVariable);
        if (path.isEmpty())
            return loaded;
        QFile pem(path);
        const bool opened = pem.open(QIODevice::ReadOnly);
        // A bundle of every public authority is under 1 MiB.
        const QList<QSslCertificate> authorities =
            opened ? QSslCertificate::fromData(pem.read(16 * 1024 * 1024), QSsl::Pem) : QList<QSslCertificate>();
        if (!opened)
            loaded.problem = QStringLiteral("%0 names %1, which cannot be read: %2.")
                                 .arg(QLatin1String(CNetworkAccess::CaFileVariable), path, pem.errorString());
        else if (authorities.isEmpty())
            loaded.problem = QStringLiteral("%0 names %1, which holds no certificate in PEM form.")
                                 .arg(QLatin1String(CNetworkAccess::CaFileVariable), path);
        if (!loaded.problem.isEmpty()) {
            BV_LOG(6, loaded.problem);
            return loaded;
        }
        loaded.configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() + authorities);
        QSslConfiguration::setDefaultConfiguration(loaded.configuration);
        BV_LOG(6, QStringLiteral("Certificate authorities added from %0: %1.").arg(path).arg(authorities.size()));
        return loaded;
    }();
    return file;
}

QString dateText(const QDateTime& time)
{
    return time.toUTC().date().toString(Qt::ISODate);
}

// One sentence for the errors of one handshake: the most telling first, since a certificate from an
// unknown authority is usually also for another name or out of date.
QString certificateProblem(const QString& host, const QList<QSslError>& errors)
{
    const auto has = [&errors](std::initializer_list<QSslError::SslError> kinds) -> const QSslError* {
        for (const QSslError& error : errors) {
            if (std::find(kinds.begin(), kinds.end(), error.error()) != kinds.end())
                return &error;
        }
        return nullptr;
    };
    if (const QSslError* error = has({QSslError::UnableToGetIssuerCertificate,
                                      QSslError::UnableToGetLocalIssuerCertificate, QSslError::SelfSignedCertificate,
                                      QSslError::SelfSignedCertificateInChain, QSslError::CertificateUntrusted,
                                      QSslError::CertificateRejected, QSslError::UnableToVerifyFirstCertificate,
                                      QSslError::InvalidCaCertificate, QSslError::CertificateSignatureFailed})) {
        const QStringList issuer = error->certificate().issuerInfo(QSslCertificate::CommonName);
        QString text = QStringLiteral("The certificate of %0 is not trusted: its issuer %1 is not a certificate "
                                      "authority of this system.")
                           .arg(host, issuer.isEmpty() ? QStringLiteral("(unnamed)")
                                                       : QLatin1Char('"') + issuer.first() + QLatin1Char('"'));
        if (!caFile().problem.isEmpty())
            text += QLatin1Char(' ') + caFile().problem;
        return text;
    }
    if (const QSslError* error = has({QSslError::HostNameMismatch})) {
        QStringList names = error->certificate().subjectAlternativeNames().values(QSsl::DnsEntry);
        if (names.isEmpty())
            names = error->certificate().subjectInfo(QSslCertificate::CommonName);
        return QStringLiteral("The certificate of %0 is for another name (%1).")
            .arg(host, names.join(QStringLiteral(", ")));
    }
    if (const QSslError* error = has({QSslError::CertificateExpired}))
        return QStringLiteral("The certificate of %0 has expired (on %1).")
            .arg(host, dateText(error->certificate().expiryDate()));
    if (const QSslError* error = has({QSslError::CertificateNotYetValid}))
        return QStringLiteral("The certificate of %0 is not valid yet (from %1 on).")
            .arg(host, dateText(error->certificate().effectiveDate()));
    if (has({QSslError::CertificateRevoked}))
        return QStringLiteral("The certificate of %0 has been revoked.").arg(host);
    return errors.isEmpty()
               ? QString()
               : QStringLiteral("The certificate of %0 was refused: %1.").arg(host, errors.first().errorString());
}

QString proxyProblem(const QNetworkReply& reply)
{
    const QNetworkProxy proxy = CNetworkAccess::proxyFor(reply.url());
    if (proxy.type() != QNetworkProxy::HttpProxy && proxy.type() != QNetworkProxy::HttpCachingProxy)
        return QString();
    const QString name = CNetworkAccess::proxyName(proxy);
    // An http address is asked of the proxy itself, so a connection that fails is the proxy's; an https one
    // goes through a tunnel, whose failures Qt reports as the proxy's already.
    const bool direct = reply.url().scheme() == QLatin1String("http");
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        if (!direct)
            return QString();
        Q_FALLTHROUGH();
    case QNetworkReply::ProxyConnectionRefusedError:
        return QStringLiteral("The proxy %0 refused the connection.").arg(name);
    case QNetworkReply::RemoteHostClosedError:
        if (!direct)
            return QString();
        Q_FALLTHROUGH();
    case QNetworkReply::ProxyConnectionClosedError:
        return QStringLiteral("The proxy %0 closed the connection before the reply was complete.").arg(name);
    case QNetworkReply::HostNotFoundError:
        if (!direct)
            return QString();
        Q_FALLTHROUGH();
    case QNetworkReply::ProxyNotFoundError:
        return QStringLiteral("The proxy %0 was not found (no such host).").arg(name);
    case QNetworkReply::TimeoutError:
        if (!direct)
            return QString();
        Q_FALLTHROUGH();
    case QNetworkReply::ProxyTimeoutError:
        return QStringLiteral("The proxy %0 did not answer in time.").arg(name);
    case QNetworkReply::ProxyAuthenticationRequiredError:
        break;
    case QNetworkReply::UnknownNetworkError:
        // What a tunnel through a proxy that can't be reached ends with ("Proxy connection refused").
        if (direct)
            return QString();
        Q_FALLTHROUGH();
    case QNetworkReply::UnknownProxyError:
        return QStringLiteral("The proxy %0 failed: %1.").arg(name, reply.errorString());
    default:
        // A proxy adds Via to every answer it passes on: a refusal without one is its own. Some proxies
        // refuse the credentials they were offered with 401 rather than 407.
        if (!direct || reply.hasRawHeader("Via") ||
            (status != 407 && (status != 401 || storedCredentials().userName.isEmpty())))
            return QString();
    }
    return storedCredentials().userName.isEmpty()
               ? QStringLiteral("The proxy %0 asks for a user name and password, and the settings hold none.").arg(name)
               : QStringLiteral("The proxy %0 refused the user name and password of the settings.").arg(name);
}
} // namespace

const char* const CNetworkAccess::CaFileVariable = "TESSARAY_CA_FILE";

QNetworkAccessManager* CNetworkAccess::createManager(QObject* parent)
{
    caFile();
    auto* manager = new QNetworkAccessManager(parent);
    manager->setProxyFactory(new CProxyFactory);
    QObject::connect(manager, &QNetworkAccessManager::proxyAuthenticationRequired, manager, &answerProxy,
                     Qt::DirectConnection);
#if QT_CONFIG(ssl)
    QObject::connect(
        manager, &QNetworkAccessManager::sslErrors, manager, [](QNetworkReply* reply, const QList<QSslError>& errors) {
            reply->setProperty(CertificateProblemProperty, certificateProblem(reply->url().host(), errors));
        });
#endif
    return manager;
}

QSslConfiguration CNetworkAccess::sslConfiguration()
{
    return caFile().configuration;
}

QNetworkProxy CNetworkAccess::proxyFor(const QUrl& url)
{
    return CProxyFactory().queryProxy(QNetworkProxyQuery(url)).value(0, QNetworkProxy::NoProxy);
}

QString CNetworkAccess::failureText(const QNetworkReply& reply)
{
    if (reply.error() == QNetworkReply::SslHandshakeFailedError) {
        const QString problem = reply.property(CertificateProblemProperty).toString();
        return problem.isEmpty() ? QStringLiteral("The secure connection to %0 failed: %1.")
                                       .arg(reply.url().host(), reply.errorString())
                                 : problem;
    }
    return proxyProblem(reply);
}

void CNetworkAccess::setProxyCredentialsPrompt(QObject* context, const CredentialsPrompt& prompt)
{
    PromptState& state = promptState();
    QMutexLocker locker(&state.mutex);
    state.context = context;
    state.prompt = prompt;
    state.declined = false;
}

QString CNetworkAccess::proxyName(const QNetworkProxy& proxy)
{
    return QStringLiteral("%0:%1").arg(proxy.hostName()).arg(proxy.port());
}
