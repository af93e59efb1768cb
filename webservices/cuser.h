#pragma once

#include "crestfailure.h"
#include "erestservice.h"
#include "foundation/cprogramstate.h"

#include <QJsonDocument>
#include <QMutex>
#include <QString>
#include <QStringList>

class CRestAPI;
template <typename T> class CSingleton;

// The user session: logs in with user name and password, or silently with the token and user id kept from
// an earlier log-in, fetches the download regions on the way, and keeps the user's record for the rest of
// the program. Token and user id are stored enciphered in "settings.conf", never in clear text.
//
// A user reply is taken only when it holds a positive "user_id", a non-empty token and every other member
// as text; anything else (an empty body, an array, a member of another type) fails the log-in, and the
// stored log-in and the record in memory stay exactly as they were.
//
// State 1 once a user record has been stored; a later failed log-in does not reset it. Lives on the
// application's thread, which alone writes the record; other threads (the commands) read the accessors,
// which copy under a lock.
class CUser : public CProgramState
{
    Q_OBJECT

public:
    static CUser* instance();
    // Tests only: deletes the session; the next instance() starts afresh.
    static void resetInstance();

    // Password log-in: the regions, then the token request.
    void login(const QString& userName, const QString& password);
    // Silent log-in from the stored credentials and the program's arguments.
    void initialize() override;
    // The silent log-in with the given program arguments ("--force-token=", "--force-user-id=").
    void restoreLogIn(const QStringList& arguments);
    // The stored log-in taken as it is, without asking the web service: for work that needs only the
    // account's identity (a backup's password). False when no log-in is stored.
    bool restoreStoredOffline();
    // Removes the stored token and user id from the settings; the session in memory is left as it is.
    static void forgetStoredCredentials();

    QString token() const;
    QString serverRegion() const;
    // -1 before the first log-in.
    int userId() const;
    QString userName() const;
    QString firstName() const;
    QString lastName() const;
    // Why the last failed step failed (HTTP status, Qt's error text, or what was wrong with the reply);
    // empty (no failure) when the step failed before any request, as without a stored log-in.
    CRestFailure lastFailure() const;

signals:
    // The log-in succeeded: service UserRecord and the user reply, after the record has been stored.
    void onRESTCompleted(ERESTService service, const QJsonDocument& content);
    // A step failed: an object with one member, "error", holding the message.
    void onRESTError(ERESTService service, const QJsonDocument& error);
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

    struct Record
    {
        QString userName;
        QString firstName;
        QString lastName;
        QString token;
        QString serverRegion;
        int userId = -1;
    };

    // One field of the record, copied under the lock.
    template <typename T> T read(T Record::*field) const;
    void emitError(ERESTService service, const QString& message, const CRestFailure& failure);
    // Adds the regions of the reply to the network status; elements without a text code and name are skipped.
    void onRegions(const QJsonDocument& reply);
    void onUserReply(ReplyForm form, CRestAPI* api, const QJsonDocument& reply, const QString& knownToken);
    static void saveCredentials(const Record& record);

    mutable QMutex m_mutex; // guards the two below
    Record m_record;
    CRestFailure m_lastFailure;
};
