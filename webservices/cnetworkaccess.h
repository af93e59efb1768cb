#pragma once

#include <QNetworkProxy>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;
class QSslConfiguration;
class QUrl;

// Every QNetworkAccessManager of the program is made here (web service, data index, packages, the
// connectivity probe), in the window and in tessaray-cli alike, so that every request:
// - goes through the proxy entered in the settings ("proxy/..."), read afresh for each connection, or,
//   with none entered, through the system's (on Linux the http_proxy, https_proxy and no_proxy variables);
// - answers a proxy's demand for a user name and password from the settings (password enciphered like the
//   log-in), or from the prompt the window installs;
// - verifies servers against the system's certificate authorities, plus those of the PEM file named by
//   TESSARAY_CA_FILE (tests, company networks that inspect TLS).
// Failures of the proxy and of certificates are put in words a user can act on by failureText().
class CNetworkAccess
{
public:
    // The environment variable naming a PEM file of extra certificate authorities.
    static const char* const CaFileVariable;

    // A new manager, owned by `parent` (none when null), set up as above. Any thread.
    static QNetworkAccessManager* createManager(QObject* parent);

    // The TLS settings for a request: the system's authorities and the extra ones, server name sent.
    static QSslConfiguration sslConfiguration();

    // The proxy a request for `url` takes now: the entered one, else the system's first (NoProxy when none).
    static QNetworkProxy proxyFor(const QUrl& url);

    // What went wrong with a finished reply when the proxy or the server's certificate is the cause, naming
    // the proxy or the host ("The certificate of files.example has expired (on 2026-01-31)."). Empty when
    // the reply has no error or another one, so that callers keep their own wording.
    static QString failureText(const QNetworkReply& reply);

    // Asked when a proxy wants a user name and password that the settings do not hold or that it refused:
    // fills both and returns true, or returns false when the user declines (the request then fails with the
    // proxy's refusal, and the prompt is not asked again in this run). Called on the thread of `context`
    // while the requesting thread waits, once for all the requests that meet the proxy at the same time;
    // what it returns is stored in the settings as proxy/username and proxy/password (enciphered). Without
    // a prompt (tessaray-cli) the settings' credentials are the only ones offered. A null `context` removes
    // the prompt.
    using CredentialsPrompt = std::function<bool(const QString& proxyName, QString* userName, QString* password)>;
    static void setProxyCredentialsPrompt(QObject* context, const CredentialsPrompt& prompt);

    // "192.0.2.7:3128".
    static QString proxyName(const QNetworkProxy& proxy);
};
