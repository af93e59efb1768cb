// Servers that lie in ways neither nginx nor the development service can be made to: a body longer than
// the range, a Content-Range for other bytes, sizes that are no number or exceed 32 bits (and the disk).
// A few lines of raw HTTP on a loopback socket play them.

#include "cdatadirtest.h"
#include "cdownloadprobe.h"
#include "ctestdatadir.h"
#include "downloader/chttpdownloadmanager.h"
#include "downloader/chttpdownloadtask.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>

namespace
{
// Answers each request with what `answer` makes of it (method, first and last byte of the Range, or -1),
// then closes the connection.
class CScriptedServer : public QObject
{
public:
    using Answer = std::function<QByteArray(const QByteArray& method, qint64 first, qint64 last)>;

    explicit CScriptedServer(Answer answer)
        : m_answer(std::move(answer))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        buffer.clear();
        static const QRegularExpression range(QStringLiteral("Range: bytes=(\\d+)-(\\d+)"),
                                              QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = range.match(QString::fromLatin1(head));
        const qint64 first = match.hasMatch() ? match.captured(1).toLongLong() : -1;
        const qint64 last = match.hasMatch() ? match.captured(2).toLongLong() : -1;
        socket->write(m_answer(head.left(head.indexOf(' ')), first, last));
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    Answer m_answer;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

constexpr qint64 fileSize = 300000;

QByteArray headAnswer(const QByteArray& contentLength)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + contentLength + "\r\nConnection: close\r\n\r\n";
}

// 206 for bytes [first, last] of content(fileSize), followed by `extra` bytes of 'X', with or without
// Content-Length, and with the Content-Range that `rangeShift` moves.
QByteArray rangeAnswer(qint64 first, qint64 last, int extra, bool withLength, qint64 rangeShift = 0)
{
    static const QByteArray content = CTestFiles::content(fileSize);
    const QByteArray body = content.mid(int(first), int(last - first + 1)) + QByteArray(extra, 'X');
    QByteArray answer = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                        QByteArray::number(first + rangeShift) + '-' + QByteArray::number(last + rangeShift) + '/' +
                        QByteArray::number(fileSize) + "\r\n";
    if (withLength)
        answer += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return answer + "Connection: close\r\n\r\n" + body;
}
} // namespace

class TestDownloadHostile : public CDataDirTest
{
    Q_OBJECT

private slots:
    void refusesLyingRanges_data();
    void refusesLyingRanges();
    void refusesWhatTheDiskCannotHold();
};

void TestDownloadHostile::refusesLyingRanges_data()
{
    QTest::addColumn<QByteArray>("contentLength"); // of the HEAD answer
    QTest::addColumn<int>("extra");                // bytes after the range
    QTest::addColumn<bool>("withLength");          // Content-Length on the ranges
    QTest::addColumn<qint64>("rangeShift");
    QTest::addColumn<QString>("words"); // empty: the download completes

    QTest::newRow("honest, body ends with the connection")
        << QByteArray("300000") << 0 << false << qint64(0) << QString();
    QTest::newRow("body longer than the range") << QByteArray("300000") << 100 << false << qint64(0) << "more than";
    QTest::newRow("Content-Range for other bytes")
        << QByteArray("300000") << 0 << true << qint64(10) << "with the range";
    QTest::newRow("size that is no number") << QByteArray("3e5") << 0 << true << qint64(0) << "no usable size";
    QTest::newRow("negative size") << QByteArray("-300000") << 0 << true << qint64(0) << "no usable size";
}

void TestDownloadHostile::refusesLyingRanges()
{
    QFETCH(QByteArray, contentLength);
    QFETCH(int, extra);
    QFETCH(bool, withLength);
    QFETCH(qint64, rangeShift);
    QFETCH(QString, words);

    CScriptedServer server([&](const QByteArray& method, qint64 first, qint64 last) {
        if (method == "HEAD")
            return headAnswer(contentLength);
        return rangeAnswer(first, last, extra, withLength, rangeShift);
    });
    const QString destination = data().filePath(QStringLiteral("lied.bin"));
    QVERIFY(CTestFiles::write(destination, 777, 3));
    const QByteArray before = CTestFiles::sha1(destination);

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(server.url(QStringLiteral("/lied.bin")), destination, 2));
    QTest::qWait(100);
    QCOMPARE(probe.finishedCount(), 1);

    if (words.isEmpty()) {
        QCOMPARE(probe.finishedCode(), 0);
        QCOMPARE(CTestDataDir::readFile(destination), CTestFiles::content(fileSize));
        return;
    }
    QCOMPARE(probe.errorCount(), 1);
    QCOMPARE(probe.finishedCode(), 400);
    QVERIFY2(probe.errors.first().message().contains(words), qPrintable(probe.errors.first().message()));
    QCOMPARE(CTestFiles::sha1(destination), before);
    // The part file stays for the next start to remove; nothing was written past the pieces, nor any of the
    // extra bytes into them.
    const QString part = destination + CHttpDownloadTask::PartSuffix;
    if (QFile::exists(part)) {
        QCOMPARE(QFileInfo(part).size(), fileSize);
        QFile file(part);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains(QByteArray(16, 'X')));
    }
}

void TestDownloadHostile::refusesWhatTheDiskCannotHold()
{
    const QByteArray petabyte = QByteArray::number(qint64(1) << 50);
    CScriptedServer server([&petabyte](const QByteArray&, qint64, qint64) { return headAnswer(petabyte); });
    const QString folder = data().filePath(QStringLiteral("not/yet/there"));
    const QString destination = folder + QStringLiteral("/huge.bin");

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(server.url(QStringLiteral("/huge.bin")), destination, 1));
    QCOMPARE(probe.errorCount(), 1);
    const QString message = probe.errors.first().message();
    QVERIFY2(QRegularExpression(QStringLiteral("^Not enough free space on %1: 1\\.0 PiB needed, .* free\\.$")
                                    .arg(QRegularExpression::escape(data().path())))
                 .match(message)
                 .hasMatch(),
             qPrintable(message));
    // Nothing is left behind: no part file, no journal, not even the folders.
    QVERIFY(!QFileInfo::exists(data().filePath(QStringLiteral("not"))));
}

QTEST_GUILESS_MAIN(TestDownloadHostile)
#include "tst_downloadhostile.moc"
