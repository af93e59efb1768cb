#pragma once

#include "erestservice.h"
#include "foundation/cprogramstate.h"
#include "foundation/exception.h"

#include <QJsonDocument>
#include <QString>
#include <QStringList>

class CRestAPI;
template <typename T> class CSingleton;

// The user session: logs in with user name and password, or silently with the token and user id kept from
// an earlier log-in, fetches the download regions on the way, and keeps the user's record for the rest of
// the program. Token and user id are stored enciphered in "settings.conf", never in clear text.
//
// State 1 once a user record has been stored; a later failed log-in does not reset it. Lives on the
// application's thread; other threads read the accessors.
class CUser : public CProgramState
{
    Q_OBJECT

public:
    static CUser* instance();
    // Tests only: deletes the session; the next instance() starts afresh.
    static void resetInstance();
    ~CUser() override;

    // Password log-in: the regions, then the token request.
    void login(const QString& userName, const QString& password);
    // Silent log-in from the stored credentials and the program's arguments.
    void initialize() override;
    // The silent log-in with the given program arguments ("--force-token=", "--force-user-id=").
    void restoreLogIn(const QStringList& arguments);
    // Removes the stored token and user id from the settings; the session in memory is left as it is.
    static void forgetStoredCredentials();

    QString token() const { return m_token; }
    QString serverRegion() const { return m_serverRegion; }
    int userId() const { return m_userId; }
    QString userName() const { return m_userName; }
    QString firstName() const { return m_firstName; }
    QString lastName() const { return m_lastName; }

signals:
    // The log-in succeeded: service UserRecord and the user reply, after the record has been stored.
    void onRESTCompleted(ERESTService service, const QJsonDocument& content);
    // A step failed: an object with one member, "error", holding the message.
    void onRESTError(ERESTService service, const QJsonDocument& error);
    // For failures outside the REST steps; the steps themselves report by onRESTError.
    void error(const Exception& ex);
    // A password log-in has yielded this token (emitted before onRESTCompleted).
    void passwordAuthCompleted(const QString& token);

private:
    friend class CSingleton<CUser>;
    explicit CUser(QObject* parent);

    enum class ReplyForm
    {
        Password, // the record is the reply's member "user" and carries the token
        Token,    // the record is the reply itself; the token is the one the log-in used
    };

    void emitError(ERESTService service, const QString& message);
    // Adds the regions of the reply to the network status, then runs `next`.
    void onRegions(const QJsonDocument& reply);
    void onUserReply(ReplyForm form, CRestAPI* api, const QJsonDocument& reply, const QString& knownToken);
    void saveCredentials() const;

    QString m_userName;
    QString m_firstName;
    QString m_lastName;
    QString m_token;
    QString m_serverRegion;
    int m_userId = -1;
};
