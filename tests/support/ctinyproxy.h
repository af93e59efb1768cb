#pragma once

#include <QHostAddress>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// tinyproxy on a free port of one address; given a user name, it asks for Basic authentication. Its log
// tells which requests it carried.
class CTinyProxy
{
public:
    ~CTinyProxy() { stop(); }

    // False with the reason when tinyproxy is missing or does not start.
    bool start(const QHostAddress& address, const QString& user, const QString& password, QString* error);
    void stop();
    QString host() const { return m_address.toString(); }
    quint16 port() const { return m_port; }
    // The request lines it carried, oldest first: "GET http://192.0.2.7:8080/status.txt HTTP/1.1".
    QStringList requests() const;

    static QString program();
    // The machine's first IPv4 address that is not a loopback one (the program sends loopback requests past
    // any proxy); null when there is none.
    static QHostAddress nonLoopbackAddress();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QHostAddress m_address;
    quint16 m_port = 0;
};
