#include <QCryptographicHash>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "cloudendpoint.h"
#include "cloudrequest.h"
#include "multipartbody.h"
#include "uploadbodydevice.h"

using MultipartBody::Scan;
Q_DECLARE_METATYPE(QList<QByteArray>)

class TestMultipartBody : public QObject
{
    Q_OBJECT
private slots:
    void contentTypeHeader_data();
    void contentTypeHeader();
    void fileName_data();
    void fileName();
    void body_data();
    void body();
    void pieceHolds_data();
    void pieceHolds();
    void chooseBoundary_data();
    void chooseBoundary();
    void deviceStreamsFile_data();
    void deviceStreamsFile();
};

void TestMultipartBody::contentTypeHeader_data()
{
    QTest::addColumn<QByteArray>("boundary");
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("default") << MultipartBody::defaultBoundary()
                             << QByteArray("multipart/form-data; boundary=YourBoundaryString");
    QTest::newRow("suffixed") << QByteArray("YourBoundaryString0f1e2d3c4b5a6978")
                              << QByteArray("multipart/form-data; boundary=YourBoundaryString0f1e2d3c4b5a6978");
}

void TestMultipartBody::contentTypeHeader()
{
    QFETCH(QByteArray, boundary);
    QFETCH(QByteArray, header);
    QCOMPARE(MultipartBody::contentType(boundary), header);
}

void TestMultipartBody::fileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unix path") << "/opt/host/cloudcompile/target.zip" << "target.zip";
    QTest::newRow("forward slashes on a drive") << "C:/Host/cloudcompile/target.zip" << "target.zip";
    QTest::newRow("backslashes only: whole path")
        << "C:\\Host\\cloudcompile\\target.zip" << "C:\\Host\\cloudcompile\\target.zip";
    QTest::newRow("mixed: after the last slash") << "C:\\Host/cc\\target.zip" << "cc\\target.zip";
    QTest::newRow("bare name") << "target.zip" << "target.zip";
    QTest::newRow("trailing slash") << "/tmp/dir/" << "";
    QTest::newRow("chinese") << "/工程/云组态.zip" << "云组态.zip";
}

void TestMultipartBody::fileName()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(MultipartBody::fileNameOf(path), expected);
}

namespace {
// A literal with its real length, zero bytes included.
template <int N>
QByteArray lit(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}
} // namespace

void TestMultipartBody::body_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<bool>("useName");
    QTest::addColumn<QString>("gatewayId");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QByteArray>("boundary");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("useName 0, binary archive")
        << "900150983cd24fb0d6963f7d28e17f72" << false << "860000000000101" << "demo"
        << "demo123" << "target.zip" << lit("PK\x03\x04\x00\xff\r\n--") << MultipartBody::defaultBoundary()
        << lit("--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"uuid\"\r\n\r\n"
               "900150983cd24fb0d6963f7d28e17f72\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"usePrjName\"\r\n\r\n"
               "0\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"gatewayId\"\r\n\r\n"
               "860000000000101\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"account\"\r\n\r\n"
               "demo\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"password\"\r\n\r\n"
               "demo123\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"file\"; filename=\"target.zip\"\r\n"
               "Content-Type: application/zip\r\n\r\n"
               "PK\x03\x04\x00\xff\r\n--"
               "\r\n--YourBoundaryString--\r\n");

    // UTF-8 values, sent without quoting or escaping; an empty archive.
    QTest::newRow("useName 1, utf-8, quote kept raw")
        << "d41d8cd98f00b204e9800998ecf8427e" << true << "86" << "用户" << "p\"w"
        << "C:\\a\\target.zip" << QByteArray() << MultipartBody::defaultBoundary()
        << lit("--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"uuid\"\r\n\r\n"
               "d41d8cd98f00b204e9800998ecf8427e\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"usePrjName\"\r\n\r\n"
               "1\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"gatewayId\"\r\n\r\n"
               "86\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"account\"\r\n\r\n"
               "\xe7\x94\xa8\xe6\x88\xb7\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"password\"\r\n\r\n"
               "p\"w\r\n"
               "--YourBoundaryString\r\n"
               "Content-Disposition: form-data; name=\"file\"; filename=\"C:\\a\\target.zip\"\r\n"
               "Content-Type: application/zip\r\n\r\n"
               "\r\n--YourBoundaryString--\r\n");

    // An archive that holds the usual boundary is sent with another one throughout.
    QTest::newRow("suffixed boundary")
        << "d41d8cd98f00b204e9800998ecf8427e" << false << "86" << "a" << "p" << "t.zip"
        << lit("x\r\n--YourBoundaryString--\r\n") << QByteArray("YourBoundaryString00ff")
        << lit("--YourBoundaryString00ff\r\n"
               "Content-Disposition: form-data; name=\"uuid\"\r\n\r\n"
               "d41d8cd98f00b204e9800998ecf8427e\r\n"
               "--YourBoundaryString00ff\r\n"
               "Content-Disposition: form-data; name=\"usePrjName\"\r\n\r\n"
               "0\r\n"
               "--YourBoundaryString00ff\r\n"
               "Content-Disposition: form-data; name=\"gatewayId\"\r\n\r\n"
               "86\r\n"
               "--YourBoundaryString00ff\r\n"
               "Content-Disposition: form-data; name=\"account\"\r\n\r\n"
               "a\r\n"
               "--YourBoundaryString00ff\r\n"
               "Content-Disposition: form-data; name=\"password\"\r\n\r\n"
               "p\r\n"
               "--YourBoundaryString00ff\r\n"
               "Content-Disposition: form-data; name=\"file\"; filename=\"t.zip\"\r\n"
               "Content-Type: application/zip\r\n\r\n"
               "x\r\n--YourBoundaryString--\r\n"
               "\r\n--YourBoundaryString00ff--\r\n");
}

void TestMultipartBody::body()
{
    QFETCH(QString, uuid);
    QFETCH(bool, useName);
    QFETCH(QString, gatewayId);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, archive);
    QFETCH(QByteArray, boundary);
    QFETCH(QByteArray, expected);

    MultipartBody::Fields fields;
    fields.uuid = uuid;
    fields.useName = useName;
    fields.gatewayId = gatewayId;
    fields.account = account;
    fields.password = password;
    fields.fileName = fileName;
    const QByteArray body = MultipartBody::build(fields, archive, boundary);
    QCOMPARE(MultipartBody::head(fields, boundary) + archive + MultipartBody::tail(boundary), body);
    if (body != expected) {
        const int at = [&] {
            int i = 0;
            while (i < body.size() && i < expected.size() && body[i] == expected[i])
                ++i;
            return i;
        }();
        qWarning() << "first difference at" << at << body.mid(at, 40) << expected.mid(at, 40);
    }
    QCOMPARE(body, expected);
}

void TestMultipartBody::pieceHolds_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<int>("foundAt");   // index of the piece that completes it; -1: never

    const QByteArray b = "YourBoundaryString";
    QTest::newRow("absent") << QList<QByteArray>{"abc", "def"} << b << -1;
    QTest::newRow("inside one piece") << QList<QByteArray>{"x", "--" + b + "--", "y"} << b << 1;
    QTest::newRow("split in the middle") << QList<QByteArray>{"..YourBound", "aryString.."} << b << 1;
    QTest::newRow("split after one byte") << QList<QByteArray>{"Y", "ourBoundaryString"} << b << 1;
    QTest::newRow("split before the last byte") << QList<QByteArray>{"YourBoundaryStrin", "g"} << b << 1;
    QTest::newRow("over three pieces") << QList<QByteArray>{"You", "rBoun", "daryString"} << b << 2;
    QTest::newRow("pieces shorter than the carry")
        << QList<QByteArray>{"Yo", "u", "r", "Boundary", "Strin", "g"} << b << 5;
    QTest::newRow("near miss across the border") << QList<QByteArray>{"YourBoundary", "Strinx", "g"} << b << -1;
    QTest::newRow("empty pieces between") << QList<QByteArray>{"YourBoundary", "", "String"} << b << 2;
    QTest::newRow("border bytes not counted twice")
        << QList<QByteArray>{"aaaaaaaaaaaaaaaaaaaaaaaa", "a"} << QByteArray(26, 'a') << -1;
}

void TestMultipartBody::pieceHolds()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QByteArray, needle);
    QFETCH(int, foundAt);
    QByteArray carry;
    int at = -1;
    for (int i = 0; i < pieces.size() && at < 0; ++i)
        if (MultipartBody::pieceHolds(&carry, pieces.at(i), needle))
            at = i;
    QCOMPARE(at, foundAt);
}

void TestMultipartBody::chooseBoundary_data()
{
    QTest::addColumn<QList<QByteArray>>("inArchive");   // the candidates the archive holds
    QTest::addColumn<QString>("account");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QByteArray>("expected");           // empty: none chosen
    QTest::addColumn<int>("scans");                     // archive scans made

    const QByteArray b = MultipartBody::defaultBoundary();
    QTest::newRow("archive without it: kept") << QList<QByteArray>() << "demo" << false << b << 1;
    QTest::newRow("archive holds it: suffix") << QList<QByteArray>{b} << "demo" << false << b + "s1" << 2;
    QTest::newRow("first suffix taken too: checked again")
        << QList<QByteArray>{b, b + "s1"} << "demo" << false << b + "s2" << 3;
    QTest::newRow("a field holds it: suffix without scanning for it")
        << QList<QByteArray>() << QString("x" + b) << false << b + "s1" << 1;
    QTest::newRow("every candidate taken: none")
        << QList<QByteArray>{b, b + "s1", b + "s2", b + "s3", b + "s4", b + "s5", b + "s6", b + "s7", b + "s8"}
        << "demo" << false << QByteArray() << 1 + MultipartBody::kSuffixAttempts;
    QTest::newRow("unreadable archive: none") << QList<QByteArray>() << "demo" << true << QByteArray() << 1;
}

void TestMultipartBody::chooseBoundary()
{
    QFETCH(QList<QByteArray>, inArchive);
    QFETCH(QString, account);
    QFETCH(bool, unreadable);
    QFETCH(QByteArray, expected);
    QFETCH(int, scans);
    MultipartBody::Fields fields;
    fields.account = account;
    int scanned = 0;
    int suffix = 0;
    const QByteArray chosen = MultipartBody::chooseBoundary(
        fields,
        [&](const QByteArray &needle) {
            ++scanned;
            return unreadable ? Scan::Failed : inArchive.contains(needle) ? Scan::Present : Scan::Absent;
        },
        [&] { return "s" + QByteArray::number(++suffix); });
    QCOMPARE(chosen, expected);
    QCOMPARE(scanned, scans);
}

namespace {

// Peak resident memory of this process, in bytes.
qint64 peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// An HTTP service on loopback that hashes each request body as it arrives (never
// holding it) and answers {"code":200} once Content-Length bytes are in.
class HashingSink : public QObject
{
public:
    HashingSink()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = m_server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, this, [this, s] { take(s); });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    QByteArray head;
    qint64 received = 0;
    QCryptographicHash hash{QCryptographicHash::Md5};

private:
    void take(QTcpSocket *s)
    {
        QByteArray in = s->readAll();
        if (m_length < 0) {
            head += in;
            const int end = head.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            in = head.mid(end + 4);
            head.truncate(end);
            for (const QByteArray &line : head.split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    m_length = line.mid(15).trimmed().toLongLong();
        }
        received += in.size();
        hash.addData(in);
        if (received >= m_length)
            s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 12\r\n"
                     "Connection: close\r\n\r\n{\"code\":200}");
    }

    QTcpServer m_server;
    qint64 m_length = -1;
};

} // namespace

void TestMultipartBody::deviceStreamsFile_data()
{
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<qint64>("shrinkTo");   // < 0: the file stays as it was at open()
    QTest::newRow("160 MiB archive") << qint64(160) * 1024 * 1024 << qint64(-1);
    QTest::newRow("file shortened after open") << qint64(4) * 1024 * 1024 << qint64(1024 * 1024);
}

// The body goes out over real HTTP exactly as head + file + tail, under the announced
// length, without the file ever being held in memory; a file that became shorter ends
// the upload with an error rather than a shorter body.
void TestMultipartBody::deviceStreamsFile()
{
    QFETCH(qint64, fileSize);
    QFETCH(qint64, shrinkTo);
    QTemporaryDir dir;
    const QString path = dir.filePath("target.zip");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write("PK\x03\x04 YourBoundaryString ") > 0);
        QVERIFY(f.resize(fileSize));   // sparse: no disk and no memory for the zeros
    }
    MultipartBody::Fields fields;
    fields.account = QStringLiteral("demo");
    const QByteArray boundary = UploadBodyDevice::boundaryFor(fields, path);
    QVERIFY(boundary.startsWith(MultipartBody::defaultBoundary()));
    QCOMPARE(boundary.size(), MultipartBody::defaultBoundary().size() + 16);

    const QByteArray head = MultipartBody::head(fields, boundary);
    const QByteArray tail = MultipartBody::tail(boundary);
    UploadBodyDevice body(head, path, tail);
    QVERIFY(body.open(QIODevice::ReadOnly));
    QCOMPARE(body.size(), head.size() + fileSize + tail.size());
    if (shrinkTo >= 0)
        QVERIFY(QFile::resize(path, shrinkTo));

    HashingSink sink;
    QNetworkAccessManager manager;
    QEventLoop loop;
    connect(&manager, &QNetworkAccessManager::finished, &loop, &QEventLoop::quit);
    const CloudEndpoint endpoint;
    QNetworkRequest request = CloudRequest::makeRequest(
        endpoint, QUrl(QStringLiteral("http://127.0.0.1:%1/up").arg(sink.port())), QByteArray());
    request.setRawHeader("Content-Type", MultipartBody::contentType(boundary));
    const qint64 before = peakMemory();
    const CloudRequest::Result result = CloudRequest::postAndWait(endpoint, manager, loop, request, &body);
    const qint64 grown = peakMemory() - before;

    QVERIFY2(sink.head.contains("Content-Length: " + QByteArray::number(body.size())), sink.head.constData());
    QVERIFY(sink.head.contains("boundary=" + boundary));
    if (shrinkTo >= 0) {
        QVERIFY2(!result.errorText.isEmpty(), qPrintable(result.errorText));
        QVERIFY(result.body.isEmpty());
        QVERIFY(sink.received < body.size());
        return;
    }
    QCOMPARE(result.body, QByteArray("{\"code\":200}"));
    QCOMPARE(sink.received, body.size());
    QCryptographicHash expected(QCryptographicHash::Md5);
    expected.addData(head);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(expected.addData(&file));
    expected.addData(tail);
    QCOMPARE(sink.hash.result().toHex(), expected.result().toHex());
#if defined(__SANITIZE_ADDRESS__)
    Q_UNUSED(grown)   // freed buffers stay in the sanitizer's quarantine
#else
    QVERIFY2(grown < 100 * 1024 * 1024, qPrintable(QString::number(grown)));
#endif
}

QTEST_GUILESS_MAIN(TestMultipartBody)
#include "tst_multipartbody.moc"
