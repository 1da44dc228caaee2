#include <QtTest>

#include "multipartbody.h"

class TestMultipartBody : public QObject
{
    Q_OBJECT
private slots:
    void contentTypeHeader();
    void fileName_data();
    void fileName();
    void body_data();
    void body();
};

void TestMultipartBody::contentTypeHeader()
{
    QCOMPARE(MultipartBody::contentType(),
             QByteArray("multipart/form-data; boundary=YourBoundaryString"));
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
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("useName 0, binary archive")
        << "900150983cd24fb0d6963f7d28e17f72" << false << "860000000000101" << "demo"
        << "demo123" << "target.zip" << lit("PK\x03\x04\x00\xff\r\n--")
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
        << "C:\\a\\target.zip" << QByteArray()
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
    QFETCH(QByteArray, expected);

    MultipartBody::Fields fields;
    fields.uuid = uuid;
    fields.useName = useName;
    fields.gatewayId = gatewayId;
    fields.account = account;
    fields.password = password;
    fields.fileName = fileName;
    const QByteArray body = MultipartBody::build(fields, archive);
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

QTEST_APPLESS_MAIN(TestMultipartBody)
#include "tst_multipartbody.moc"
