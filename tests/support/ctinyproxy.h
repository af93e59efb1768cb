#pragma once

#include <QHostAddress>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// tinyproxy on a free port of one address, for the tests of the program's proxy support; with a user name,
// it asks every client for Basic authentication. Its log tells which requests it carried.
class CTinyProxy
{
public:
    ~CTinyProxy();

    // False with the reason when tinyproxy is missing or does not start.
    bool start(const QHostAddress& address, const QString& user = QString(), const QString& password = QString(),
               QString* error = nullptr);
    void stop();
    QString host() const { return m_address.toString(); }
    quint16 port() const { return m_port; }
    // "GET http://192.0.2.7:8080/status.txt HTTP/1.1", "CONNECT files.test:443 HTTP/1.1", oldest first.
    QStringList requests() const;

    static QString program();
    // The machine's first IPv4 address that is not a loopback one: Qt sends loopback requests past any
    // proxy. Null when the machine has none.
    static QHostAddress nonLoopbackAddress();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QHostAddress m_address;
    quint16 m_port = 0;
};
