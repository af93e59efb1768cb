// download-floor URL FILE: the engine's requests without the engine. One connection asks for the file in
// ranges of one chunk (1.5 MiB), one after the other, and every block a reply hands over is written at its
// place in FILE as it comes; nothing is checked, journalled or reported. The least that a download the way
// the engine makes it can cost over QNetworkAccessManager.

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <functional>

namespace
{
constexpr qint64 chunk = 24 * 65536;
}

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fputs("usage: download-floor URL FILE\n", stderr);
        return 2;
    }
    QFile file(arguments.at(2));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "download-floor: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    QNetworkAccessManager manager;
    const QUrl url(arguments.at(1));
    qint64 next = 0;
    qint64 size = -1; // learned from the first reply's Content-Range
    std::function<void()> fetch = [&]() {
        QNetworkRequest request(url);
        request.setRawHeader("Range", "bytes=" + QByteArray::number(next) + '-' + QByteArray::number(next + chunk - 1));
        QNetworkReply* reply = manager.get(request);
        QObject::connect(reply, &QNetworkReply::readyRead, [&file, reply]() { file.write(reply->readAll()); });
        QObject::connect(reply, &QNetworkReply::finished, [&, reply]() {
            file.write(reply->readAll());
            reply->deleteLater();
            if (reply->error() != QNetworkReply::NoError) {
                std::fprintf(stderr, "download-floor: %s\n", qPrintable(reply->errorString()));
                QCoreApplication::exit(1);
                return;
            }
            if (size < 0) {
                // Sized once, as the engine sizes its part file: writes inside the file cost less than writes
                // that make it grow.
                size = reply->rawHeader("Content-Range").split('/').value(1).toLongLong();
                file.resize(size);
            }
            next += chunk;
            // From the event loop, as the engine does: asked from inside `finished`, the request would find
            // the connection still busy and open another one.
            if (next < size)
                QTimer::singleShot(0, fetch);
            else
                QCoreApplication::exit(0);
        });
    };
    fetch();
    return QCoreApplication::exec();
}
