#include <QtTest>

#include "relayframe.h"

namespace {

const char kMagicHex[] = "5175696e64617256656c6f7374656d6978"; // "QuindarVelostemix"

QByteArray hex(const char *h)
{
    return QByteArray::fromHex(QByteArray(h));
}

QByteArray magicHex(const char *rest)
{
    return hex((QByteArray(kMagicHex) + rest).constData());
}

// 300 bytes summing to 0x1234: 299 bytes of 0x0f and one of 0xaf.
QByteArray file300()
{
    QByteArray f(300, '\x0f');
    f[0] = char(0xaf);
    return f;
}

QString joined(const QList<int> &v)
{
    QStringList s;
    for (int n : v)
        s << QString::number(n);
    return s.join(QLatin1Char(','));
}

} // namespace

class TestRelayFrame : public QObject
{
    Q_OBJECT

private slots:
    void commandFrame_data();
    void commandFrame();
    void byteSum_data();
    void byteSum();
    void byteSumWrapsModulo2pow32();
    void dataFrame_data();
    void dataFrame();
    void chunking_data();
    void chunking();
    void frameSizeUsable_data();
    void frameSizeUsable();
    void registration_data();
    void registration();
    void goAhead_data();
    void goAhead();
    void ack_data();
    void ack();
    void modelReply_data();
    void modelReply();
    void versionReply_data();
    void versionReply();
};

void TestRelayFrame::commandFrame_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<quint32>("size");
    QTest::addColumn<quint32>("sum");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("model query") << 0x46 << 0u << 0u
        << magicHex("46" "000000" "00000000" "00000000" "000000" "245f24");
    QTest::newRow("version query") << 0x53 << 0u << 0u
        << magicHex("53" "000000" "00000000" "00000000" "000000" "245f24");
    QTest::newRow("300-byte file summing to 0x1234") << 10 << 300u << 0x1234u
        << magicHex("0a" "000000" "2c010000" "34120000" "000000" "245f24");
    QTest::newRow("firmware, byte order") << 0x69 << 0x01020304u << 0xa1b2c3d4u
        << magicHex("69" "000000" "04030201" "d4c3b2a1" "000000" "245f24");
    QTest::newRow("code 54 is not the end code") << 54 << 7u << 9u
        << magicHex("36" "000000" "07000000" "09000000" "000000" "245f24");
    QTest::newRow("end of file") << 0x35 << 0u << 0u
        << magicHex("35" "000000" "00000000" "00000000" "000000" "245f24");
    QTest::newRow("project complete") << 27 << 0u << 0u
        << magicHex("1b" "000000" "00000000" "00000000" "000000" "245f24");
    QTest::newRow("largest numbers") << 24 << 0xffffffffu << 0xffffffffu
        << magicHex("18" "000000" "ffffffff" "ffffffff" "000000" "245f24");
}

void TestRelayFrame::commandFrame()
{
    QFETCH(int, code);
    QFETCH(quint32, size);
    QFETCH(quint32, sum);
    QFETCH(QByteArray, expected);
    QCOMPARE(expected.size(), 35);
    QCOMPARE(RelayFrame::commandFrame(uchar(code), size, sum).toHex(), expected.toHex());
}

void TestRelayFrame::byteSum_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint32>("expected");

    QTest::newRow("empty") << QByteArray() << 0u;
    QTest::newRow("bytes are unsigned") << hex("80ff01") << 0x180u;
    QTest::newRow("300 bytes") << file300() << 0x1234u;
    QTest::newRow("300 x ff") << QByteArray(300, char(0xff)) << 76500u;
}

void TestRelayFrame::byteSum()
{
    QFETCH(QByteArray, data);
    QFETCH(quint32, expected);
    QCOMPARE(RelayFrame::byteSum(data), expected);
    QCOMPARE(RelayFrame::byteSum(data.constData(), data.size()), expected);
}

void TestRelayFrame::byteSumWrapsModulo2pow32()
{
    // 16843010 x 255 = 2^32 + 254
    const QByteArray data(16843010, char(0xff));
    QCOMPARE(RelayFrame::byteSum(data), 254u);
}

void TestRelayFrame::dataFrame_data()
{
    QTest::addColumn<quint32>("index");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("first frame") << 0u << QByteArray("ABC")
        << hex("00000000" "c6000000" "414243" "245f24");
    QTest::newRow("index byte order, unsigned sum") << 0x01020304u << hex("ff80")
        << hex("04030201" "7f010000" "ff80" "245f24");
    QTest::newRow("delimiter inside the chunk") << 7u << QByteArray("$_$")
        << hex("07000000" "a7000000" "245f24" "245f24");
    QTest::newRow("empty chunk") << 1u << QByteArray()
        << hex("01000000" "00000000" "245f24");
}

void TestRelayFrame::dataFrame()
{
    QFETCH(quint32, index);
    QFETCH(QByteArray, chunk);
    QFETCH(QByteArray, expected);
    QCOMPARE(RelayFrame::dataFrame(index, chunk.constData(), chunk.size()).toHex(),
             expected.toHex());
    // Made in place in a buffer kept for longer chunks: the same bytes, the rest untouched.
    QByteArray buffer = QByteArray(8, 'x') + chunk + QByteArray(8, 'y');
    RelayFrame::frameChunkInPlace(buffer.data(), index, chunk.size());
    QCOMPARE(buffer.toHex(), (expected + QByteArray(5, 'y')).toHex());
}

void TestRelayFrame::chunking_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<QString>("chunks");

    QTest::newRow("20000 at 8192") << 20000 << 8192 << "8184,8184,3632";
    QTest::newRow("5000 at 1024") << 5000 << 1024 << "1016,1016,1016,1016,936";
    QTest::newRow("exactly one chunk") << 1016 << 1024 << "1016";
    QTest::newRow("one byte over") << 1017 << 1024 << "1016,1";
    QTest::newRow("smallest frame") << 3 << 9 << "1,1,1";
    QTest::newRow("empty file") << 0 << 512 << "";
}

// Walks a file as the transfer does and checks each frame against the file's bytes.
void TestRelayFrame::chunking()
{
    QFETCH(int, fileSize);
    QFETCH(int, frameSize);
    QFETCH(QString, chunks);

    QByteArray file(fileSize, Qt::Uninitialized);
    for (int i = 0; i < fileSize; ++i)
        file[i] = char((i * 7 + 3) & 0xff);

    const int chunk = RelayFrame::chunkSize(frameSize);
    QCOMPARE(chunk, frameSize - 8);
    QList<int> lengths;
    QByteArray reassembled;
    qint64 offset = 0;
    quint32 index = 0;
    while (int n = RelayFrame::nextChunkLength(file.size(), offset, chunk)) {
        const QByteArray frame = RelayFrame::dataFrame(index, file.constData() + offset, n);
        QCOMPARE(frame.size(), n + 11);
        QCOMPARE(qFromLittleEndian<quint32>(frame.constData()), index);
        quint32 sum = 0;
        for (int i = 0; i < n; ++i)
            sum += uchar(file.at(int(offset) + i));
        QCOMPARE(qFromLittleEndian<quint32>(frame.constData() + 4), sum);
        QVERIFY(frame.endsWith("$_$"));
        reassembled += frame.mid(8, n);
        lengths << n;
        offset += n;
        ++index;
        QVERIFY(index < 100000);
    }
    QCOMPARE(joined(lengths), chunks);
    QCOMPARE(reassembled, file);
}

void TestRelayFrame::frameSizeUsable_data()
{
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<bool>("usable");

    QTest::newRow("-1") << -1 << false;
    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << false;
    QTest::newRow("8") << 8 << false;
    QTest::newRow("9") << 9 << true;
    QTest::newRow("8192") << 8192 << true;
    QTest::newRow("9000") << 9000 << true;
}

void TestRelayFrame::frameSizeUsable()
{
    QFETCH(int, frameSize);
    QFETCH(bool, usable);
    QCOMPARE(RelayFrame::frameSizeUsable(frameSize), usable);
    // An unusable size never yields a chunk, so no empty frame can come of it.
    if (!usable)
        QCOMPARE(RelayFrame::nextChunkLength(100, 0, RelayFrame::chunkSize(frameSize)), 0);
}

void TestRelayFrame::registration_data()
{
    QTest::addColumn<bool>("passThrough");
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("download, 15 digits") << false << "860123456789012"
        << hex("383630313233343536373839303132" "312c31245f24");
    QTest::newRow("download, empty") << false << "" << hex("312c31245f24");
    QTest::newRow("download, utf-8") << false << QString::fromUtf8("\xc3\xa9") << hex("c3a9" "312c31245f24");
    QTest::newRow("pass-through, 15 digits, 20 bytes") << true << "860123456789012"
        << hex("383630313233343536373839303132" "2c31245f24");
    QTest::newRow("pass-through, empty") << true << "" << hex("2c31245f24");
}

void TestRelayFrame::registration()
{
    QFETCH(bool, passThrough);
    QFETCH(QString, imei);
    QFETCH(QByteArray, expected);
    const QByteArray sent = passThrough ? RelayFrame::passthroughRegistration(imei)
                                        : RelayFrame::downloadRegistration(imei);
    QCOMPARE(sent.toHex(), expected.toHex());
}

void TestRelayFrame::goAhead_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("exact") << QByteArray("start$_$") << true;
    QTest::newRow("zero then junk") << QByteArray("start$_$\0junk", 13) << true;
    QTest::newRow("trailing zero") << QByteArray("start$_$\0", 9) << true;
    QTest::newRow("extra characters") << QByteArray("start$_$x") << false;
    QTest::newRow("twice") << QByteArray("start$_$start$_$") << false;
    QTest::newRow("other case") << QByteArray("START$_$") << false;
    QTest::newRow("first piece of a split") << QByteArray("sta") << false;
    QTest::newRow("without trailer end") << QByteArray("start$_") << false;
    QTest::newRow("leading zero") << QByteArray("\0start$_$", 9) << false;
    QTest::newRow("leading space") << QByteArray(" start$_$") << false;
    QTest::newRow("offline") << QByteArray("offline$_$") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestRelayFrame::goAhead()
{
    QFETCH(QByteArray, read);
    QFETCH(bool, accepted);
    QCOMPARE(RelayFrame::isGoAhead(read), accepted);
}

void TestRelayFrame::ack_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<int>("result");

    QTest::newRow("K") << QByteArray("K") << 1;
    QTest::newRow("O and anything") << QByteArray("Oops, whatever") << 1;
    QTest::newRow("K then M") << QByteArray("KM") << 1;
    QTest::newRow("M") << QByteArray("M") << 2;
    QTest::newRow("M then K") << QByteArray("MK") << 2;
    QTest::newRow("lower-case k") << QByteArray("k") << 0;
    QTest::newRow("lower-case m") << QByteArray("m") << 0;
    QTest::newRow("other byte") << QByteArray("N") << 0;
    QTest::newRow("zero then K") << QByteArray("\0K", 2) << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void TestRelayFrame::ack()
{
    QFETCH(QByteArray, read);
    QFETCH(int, result);
    QCOMPARE(int(RelayFrame::classifyAck(read)), result);
}

void TestRelayFrame::modelReply_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("comm");
    QTest::addColumn<int>("module");

    QTest::newRow("three bytes") << hex("460202") << 70 << 2 << 2;
    QTest::newRow("high bytes") << hex("aeff80") << 0xae << 0xff << 0x80;
    QTest::newRow("extra bytes ignored") << hex("3c0102ff") << 60 << 1 << 2;
    QTest::newRow("two bytes") << hex("5a01") << 90 << 1 << 0;
    QTest::newRow("one byte") << hex("2e") << 46 << 0 << 0;
    QTest::newRow("empty") << QByteArray() << 0 << 0 << 0;
}

void TestRelayFrame::modelReply()
{
    QFETCH(QByteArray, read);
    QFETCH(int, model);
    QFETCH(int, comm);
    QFETCH(int, module);
    const RelayFrame::ModelReply r = RelayFrame::modelReply(read);
    QCOMPARE(int(r.model), model);
    QCOMPARE(int(r.comm), comm);
    QCOMPARE(int(r.module), module);
}

void TestRelayFrame::versionReply_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("version");

    QTest::newRow("00 00 01 02") << hex("00000102") << true << 0x0102u;
    QTest::newRow("01 00 01 02") << hex("01000102") << true << 0x01000102u;
    QTest::newRow("big-endian") << hex("a1b2c3d4") << true << 0xa1b2c3d4u;
    QTest::newRow("extra byte") << hex("0000010299") << true << 0x0102u;
    QTest::newRow("three bytes") << hex("000001") << false << 0u;
    QTest::newRow("empty") << QByteArray() << false << 0u;
}

void TestRelayFrame::versionReply()
{
    QFETCH(QByteArray, read);
    QFETCH(bool, valid);
    QFETCH(quint32, version);
    quint32 v = 0xdeadbeef;
    QCOMPARE(RelayFrame::versionReply(read, &v), valid);
    if (valid)
        QCOMPARE(v, version);
    else
        QCOMPARE(v, 0xdeadbeefu);
}

QTEST_APPLESS_MAIN(TestRelayFrame)
#include "tst_relayframe.moc"
