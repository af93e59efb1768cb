#include "tools/devserver/cbyterange.h"
#include "tools/devserver/chttprequestparser.h"

#include <QtTest>

// The framing of requests and ranges, fed the way a socket delivers bytes: all at once, and one at a time.
class TestHttpRequestParser : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void requestsFollowEachOther();
    void continueIsAskedOnce();
    void range_data();
    void range();
};

namespace
{

// Feeds `input` whole or byte by byte; returns the first result other than NeedMore (or NeedMore).
CHttpRequestParser::Result feed(CHttpRequestParser& parser, const QByteArray& input, bool byteByByte,
                                QByteArray& buffer)
{
    if (!byteByByte) {
        buffer = input;
        return parser.parse(buffer);
    }
    for (const char c : input) {
        buffer.append(c);
        const CHttpRequestParser::Result result = parser.parse(buffer);
        if (result != CHttpRequestParser::Result::NeedMore)
            return result;
    }
    return CHttpRequestParser::Result::NeedMore;
}

} // namespace

void TestHttpRequestParser::framing_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status"); // 0: a complete request; -1: waits for more
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("GET with CRLF") << QByteArray("GET /a/b?x=1 HTTP/1.1\r\nHost: h\r\n\r\n") << 0
                                   << QByteArray("/a/b?x=1") << QByteArray();
    QTest::newRow("bare LF line ends") << QByteArray("GET / HTTP/1.0\nHost: h\n\n") << 0 << QByteArray("/")
                                       << QByteArray();
    QTest::newRow("leading blank lines") << QByteArray("\r\n\r\nGET /x HTTP/1.1\r\n\r\n") << 0 << QByteArray("/x")
                                         << QByteArray();
    QTest::newRow("POST with body") << QByteArray("POST /p HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello") << 0
                                    << QByteArray("/p") << QByteArray("hello");
    QTest::newRow("body not yet complete")
        << QByteArray("POST /p HTTP/1.1\r\nContent-Length: 6\r\n\r\nhello") << -1 << QByteArray() << QByteArray();
    QTest::newRow("head not yet complete")
        << QByteArray("GET / HTTP/1.1\r\nHost: h\r\n") << -1 << QByteArray() << QByteArray();
    QTest::newRow("two fields in request line") << QByteArray("GET /\r\n\r\n") << 400 << QByteArray() << QByteArray();
    QTest::newRow("target without slash")
        << QByteArray("GET index HTTP/1.1\r\n\r\n") << 400 << QByteArray() << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("GARBAGE\r\n\r\n") << 400 << QByteArray() << QByteArray();
    QTest::newRow("unknown version") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 505 << QByteArray() << QByteArray();
    QTest::newRow("header without colon")
        << QByteArray("GET / HTTP/1.1\r\nNoColon\r\n\r\n") << 400 << QByteArray() << QByteArray();
    QTest::newRow("space in header name")
        << QByteArray("GET / HTTP/1.1\r\nBad Name: x\r\n\r\n") << 400 << QByteArray() << QByteArray();
    QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n") << 400 << QByteArray()
                                   << QByteArray();
    QTest::newRow("negative length") << QByteArray("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n") << 400
                                     << QByteArray() << QByteArray();
    QTest::newRow("length with letters") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 12a\r\n\r\n") << 400
                                         << QByteArray() << QByteArray();
    QTest::newRow("conflicting lengths") << QByteArray(
                                                "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab")
                                         << 400 << QByteArray() << QByteArray();
    QTest::newRow("body over the limit") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n") << 413
                                         << QByteArray() << QByteArray();
    QTest::newRow("chunked body") << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << 501
                                  << QByteArray() << QByteArray();

    const QByteArray longTarget = "GET /" + QByteArray(CHttpRequestParser::MaxRequestLineBytes, 'a');
    QTest::newRow("endless request line") << longTarget << 400 << QByteArray() << QByteArray();
    QByteArray manyHeaders = "GET / HTTP/1.1\r\n";
    for (int i = 0; i <= CHttpRequestParser::MaxHeaderCount; ++i)
        manyHeaders += "X-" + QByteArray::number(i) + ": v\r\n";
    QTest::newRow("too many fields") << manyHeaders + "\r\n" << 400 << QByteArray() << QByteArray();
    const QByteArray hugeHeader = "GET / HTTP/1.1\r\nX-Big: " + QByteArray(CHttpRequestParser::MaxHeaderBytes, 'b');
    QTest::newRow("huge header, unfinished") << hugeHeader << 400 << QByteArray() << QByteArray();
    QTest::newRow("huge header, finished") << hugeHeader + "\r\n\r\n" << 400 << QByteArray() << QByteArray();
}

void TestHttpRequestParser::framing()
{
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);

    for (const bool byteByByte : {false, true}) {
        CHttpRequestParser parser;
        QByteArray buffer;
        const CHttpRequestParser::Result result = feed(parser, input, byteByByte, buffer);
        if (status == -1) {
            QCOMPARE(result, CHttpRequestParser::Result::NeedMore);
        } else if (status == 0) {
            QCOMPARE(result, CHttpRequestParser::Result::Complete);
            const CHttpRequest request = parser.takeRequest();
            QCOMPARE(request.target, target);
            QCOMPARE(request.body, body);
            QVERIFY(buffer.isEmpty());
        } else {
            QCOMPARE(result, CHttpRequestParser::Result::Error);
            QCOMPARE(parser.errorStatus(), status);
            QVERIFY(!parser.errorMessage().isEmpty());
            // Once out of step, the parser refuses everything that follows.
            QByteArray more("GET / HTTP/1.1\r\n\r\n");
            QCOMPARE(parser.parse(more), CHttpRequestParser::Result::Error);
        }
    }
}

void TestHttpRequestParser::requestsFollowEachOther()
{
    CHttpRequestParser parser;
    QByteArray buffer("POST /one HTTP/1.1\r\nContent-Length: 3\r\nCONNECTION: Close\r\n\r\nabc"
                      "GET /two%20x?q=%41 HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"
                      "GET /three HTTP/1.0\r\n");

    QCOMPARE(parser.parse(buffer), CHttpRequestParser::Result::Complete);
    const CHttpRequest first = parser.takeRequest();
    QCOMPARE(first.method, QByteArray("POST"));
    QCOMPARE(first.body, QByteArray("abc"));
    QCOMPARE(first.header("connection"), QByteArray("Close"));
    QVERIFY(!first.keepAlive());

    QCOMPARE(parser.parse(buffer), CHttpRequestParser::Result::Complete);
    const CHttpRequest second = parser.takeRequest();
    QCOMPARE(second.path(), QStringLiteral("/two x"));
    QCOMPARE(second.query(), QByteArray("q=%41"));
    QVERIFY(second.keepAlive());

    QCOMPARE(parser.parse(buffer), CHttpRequestParser::Result::NeedMore);
    buffer += "\r\n";
    QCOMPARE(parser.parse(buffer), CHttpRequestParser::Result::Complete);
    const CHttpRequest third = parser.takeRequest();
    QCOMPARE(third.target, QByteArray("/three"));
    QVERIFY(!third.keepAlive());
}

void TestHttpRequestParser::continueIsAskedOnce()
{
    CHttpRequestParser parser;
    QByteArray buffer("POST /s HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n");
    QCOMPARE(parser.parse(buffer), CHttpRequestParser::Result::NeedMore);
    QVERIFY(parser.takeContinueRequest());
    QVERIFY(!parser.takeContinueRequest());
    buffer += "body";
    QCOMPARE(parser.parse(buffer), CHttpRequestParser::Result::Complete);
    QCOMPARE(parser.takeRequest().body, QByteArray("body"));
}

void TestHttpRequestParser::range_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");

    const int whole = int(CByteRange::Kind::Whole);
    const int partial = int(CByteRange::Kind::Partial);
    const int unsatisfiable = int(CByteRange::Kind::Unsatisfiable);

    QTest::newRow("first ten") << QByteArray("bytes=0-9") << qint64(100) << partial << qint64(0) << qint64(9);
    QTest::newRow("last byte") << QByteArray("bytes=99-99") << qint64(100) << partial << qint64(99) << qint64(99);
    QTest::newRow("open end") << QByteArray("bytes=90-") << qint64(100) << partial << qint64(90) << qint64(99);
    QTest::newRow("end past the body") << QByteArray("bytes=50-1000") << qint64(100) << partial << qint64(50)
                                       << qint64(99);
    QTest::newRow("suffix") << QByteArray("bytes=-10") << qint64(100) << partial << qint64(90) << qint64(99);
    QTest::newRow("suffix longer than body")
        << QByteArray("bytes=-500") << qint64(100) << partial << qint64(0) << qint64(99);
    QTest::newRow("blanks and upper case unit")
        << QByteArray(" Bytes = 1 - 2 ") << qint64(100) << partial << qint64(1) << qint64(2);
    QTest::newRow("above 2 GiB") << QByteArray("bytes=3000000000-3000000009") << qint64(4000000000) << partial
                                 << qint64(3000000000) << qint64(3000000009);
    QTest::newRow("start at the end") << QByteArray("bytes=100-") << qint64(100) << unsatisfiable << qint64(0)
                                      << qint64(-1);
    QTest::newRow("zero suffix") << QByteArray("bytes=-0") << qint64(100) << unsatisfiable << qint64(0) << qint64(-1);
    QTest::newRow("empty body") << QByteArray("bytes=0-") << qint64(0) << unsatisfiable << qint64(0) << qint64(-1);
    QTest::newRow("reversed") << QByteArray("bytes=9-1") << qint64(100) << whole << qint64(0) << qint64(-1);
    QTest::newRow("several ranges") << QByteArray("bytes=0-1,5-6") << qint64(100) << whole << qint64(0) << qint64(-1);
    QTest::newRow("other unit") << QByteArray("items=0-1") << qint64(100) << whole << qint64(0) << qint64(-1);
    QTest::newRow("no dash") << QByteArray("bytes=5") << qint64(100) << whole << qint64(0) << qint64(-1);
    QTest::newRow("letters") << QByteArray("bytes=a-b") << qint64(100) << whole << qint64(0) << qint64(-1);
    QTest::newRow("overflowing number") << QByteArray("bytes=99999999999999999999-") << qint64(100) << whole
                                        << qint64(0) << qint64(-1);
}

void TestHttpRequestParser::range()
{
    QFETCH(QByteArray, header);
    QFETCH(qint64, size);
    QFETCH(int, kind);
    QFETCH(qint64, first);
    QFETCH(qint64, last);

    const CByteRange range = CByteRange::parse(header, size);
    QCOMPARE(int(range.kind), kind);
    if (range.kind == CByteRange::Kind::Partial) {
        QCOMPARE(range.first, first);
        QCOMPARE(range.last, last);
    }
}

QTEST_GUILESS_MAIN(TestHttpRequestParser)
#include "tst_httprequestparser.moc"
