#include <QtTest>

#include "passthroughframing.h"

namespace {
QByteArray hex(const char *h)
{
    return QByteArray::fromHex(QByteArray(h));
}
} // namespace

class TestPassthroughFraming : public QObject
{
    Q_OBJECT

private slots:
    void feed_data();
    void feed();
    void serialToRelay_data();
    void serialToRelay();
};

void TestPassthroughFraming::feed_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QByteArrayList>("writes");  // what goes to the serial port, per read
    QTest::addColumn<QString>("disconnects");    // per read: 0/1
    QTest::addColumn<QList<int>>("dropped");     // per read
    QTest::addColumn<int>("pendingAfter");

    const int big = PassthroughFraming::kDefaultLimit;
    const QByteArray hundred(100, 'p');

    QTest::newRow("one frame") << big << QByteArrayList{"AB$_$"} << QByteArrayList{"AB"}
                               << "0" << QList<int>{0} << 0;
    QTest::newRow("split frame") << big << QByteArrayList{"A", "B$_$"} << QByteArrayList{"", "AB"}
                                 << "00" << QList<int>{0, 0} << 0;
    QTest::newRow("split delimiter") << big << QByteArrayList{"AB$", "_$"}
                                     << QByteArrayList{"", "AB"} << "00" << QList<int>{0, 0} << 0;
    QTest::newRow("two frames in one read") << big << QByteArrayList{"AB$_$CD$_$"}
                                            << QByteArrayList{"ABCD"} << "0" << QList<int>{0} << 0;
    QTest::newRow("empty messages") << big << QByteArrayList{"$_$$_$AB$_$$_$"} << QByteArrayList{"AB"}
                                    << "0" << QList<int>{0} << 0;
    QTest::newRow("complete messages go, the tail waits")
        << big << QByteArrayList{"AB$_$CD$_$E", "F$_$G"} << QByteArrayList{"ABCD", "EF"} << "00"
        << QList<int>{0, 0} << 1;
    QTest::newRow("delimiter split after a complete message")
        << big << QByteArrayList{"AB$_$CD$_", "$EF$", "_$"} << QByteArrayList{"AB", "CD", "EF"} << "000"
        << QList<int>{0, 0, 0} << 0;
    QByteArray echo;
    for (int i = 0; i < 20000; ++i)
        echo.append(char('a' + i % 26));
    QTest::newRow("20000 bytes as five messages in uneven reads")
        << big
        << QByteArrayList{echo.mid(0, 4000) + "$_$" + echo.mid(4000, 3000), echo.mid(7000, 1000) + "$_$"
                              + echo.mid(8000, 4000) + "$_$" + echo.mid(12000, 4000) + "$",
                          "_$" + echo.mid(16000) + "$_$"}
        << QByteArrayList{echo.left(4000), echo.mid(4000, 8000), echo.mid(12000)} << "000"
        << QList<int>{0, 0, 0} << 0;
    QTest::newRow("only the delimiter") << big << QByteArrayList{"$_$"} << QByteArrayList{""}
                                        << "0" << QList<int>{0} << 0;
    QTest::newRow("binary payload") << big << QByteArrayList{hex("01000a0d") + "$_$"}
                                    << QByteArrayList{hex("01000a0d")} << "0" << QList<int>{0} << 0;
    QTest::newRow("100 bytes kept until the next delimiter")
        << big << QByteArrayList{hundred, "Z$_$"} << QByteArrayList{"", hundred + "Z"}
        << "00" << QList<int>{0, 0} << 0;
    QTest::newRow("kept bytes wait") << big << QByteArrayList{"AB$_$", "CD"}
                                     << QByteArrayList{"AB", ""} << "00" << QList<int>{0, 0} << 2;
    QTest::newRow("disconnected") << big << QByteArrayList{"disconnected,2$_$"} << QByteArrayList{""}
                                  << "1" << QList<int>{0} << 0;
    QTest::newRow("disconnected, split") << big << QByteArrayList{"discon", "nected,2$", "_$"}
                                         << QByteArrayList{"", "", ""} << "001"
                                         << QList<int>{0, 0, 0} << 0;
    QTest::newRow("disconnected, then a message with a zero")
        << big << QByteArrayList{QByteArray("disconnected,2$_$\0x$_$", 22)}
        << QByteArrayList{QByteArray("\0x", 2)} << "1" << QList<int>{0} << 0;
    QTest::newRow("disconnected among other messages")
        << big << QByteArrayList{"AB$_$disconnected,2$_$CD$_$"} << QByteArrayList{"ABCD"} << "1"
        << QList<int>{0} << 0;
    QTest::newRow("disconnected after data in one read") << big << QByteArrayList{"AB$_$disconnected,2$_$"}
                                                         << QByteArrayList{"AB"} << "1" << QList<int>{0} << 0;
    QTest::newRow("disconnected completed by a later read")
        << big << QByteArrayList{"AB$_$disconnected", ",2$_$CD"} << QByteArrayList{"AB", ""} << "01"
        << QList<int>{0, 0} << 2;
    QTest::newRow("disconnected with a zero inside is data")
        << big << QByteArrayList{QByteArray("disconnected,2\0$_$", 18)}
        << QByteArrayList{QByteArray("disconnected,2\0", 15)} << "0" << QList<int>{0} << 0;
    QTest::newRow("bridge goes on after disconnected")
        << big << QByteArrayList{"disconnected,2$_$", "AB$_$"} << QByteArrayList{"", "AB"}
        << "10" << QList<int>{0, 0} << 0;
    QTest::newRow("other text is data") << big << QByteArrayList{"Disconnected,2$_$"}
                                        << QByteArrayList{"Disconnected,2"} << "0" << QList<int>{0} << 0;
    QTest::newRow("data before disconnected") << big << QByteArrayList{"x", "disconnected,2$_$"}
                                              << QByteArrayList{"", "xdisconnected,2"} << "00"
                                              << QList<int>{0, 0} << 0;
    QTest::newRow("overflow dropped with a count")
        << 16 << QByteArrayList{"0123456789", "0123456789", "OK$_$"}
        << QByteArrayList{"", "", "OK"} << "000" << QList<int>{0, 20, 0} << 0;
    QTest::newRow("over the limit: complete messages went out, the rest is kept")
        << 16 << QByteArrayList{"AB$_$CD$_$01234", "56789abcdef", "$_$"}
        << QByteArrayList{"ABCD", "", "0123456789abcdef"} << "000" << QList<int>{0, 0, 0} << 0;
    QTest::newRow("over the limit: the start of a delimiter is kept")
        << 16 << QByteArrayList{"0123456789abcdefg$_", "$OK$_$"} << QByteArrayList{"", "OK"} << "00"
        << QList<int>{17, 0} << 0;
    QTest::newRow("over the limit: an unfinished rest over the limit is dropped")
        << 16 << QByteArrayList{"AB$_$0123456789", "0123456789"} << QByteArrayList{"AB", ""}
        << "00" << QList<int>{0, 20} << 0;
    QTest::newRow("disconnected recognised, the rest kept")
        << 16 << QByteArrayList{"disconnected,2$_$0123", "45$_$"} << QByteArrayList{"", "012345"}
        << "10" << QList<int>{0, 0} << 0;
    QTest::newRow("at the limit kept") << 16 << QByteArrayList{"0123456789abcdef", "$_$"}
                                       << QByteArrayList{"", "0123456789abcdef"} << "00"
                                       << QList<int>{0, 0} << 0;
    QTest::newRow("complete frame over the limit written")
        << 16 << QByteArrayList{"0123456789abcdefXY$_$"} << QByteArrayList{"0123456789abcdefXY"}
        << "0" << QList<int>{0} << 0;
    QTest::newRow("a message from the read, then gathered from the kept bytes, then from the read")
        << big << QByteArrayList{"AB$_$C", "D$_$E$_$F", "$_$", "GH$_$"}
        << QByteArrayList{"AB", "CDE", "F", "GH"} << "0000" << QList<int>{0, 0, 0, 0} << 0;
    QTest::newRow("kept bytes complete the note, a message follows")
        << big << QByteArrayList{"disconnec", "ted,2$_$AB$_$C"} << QByteArrayList{"", "AB"} << "01"
        << QList<int>{0, 0} << 1;
    QTest::newRow("empty read") << big << QByteArrayList{""} << QByteArrayList{""}
                                << "0" << QList<int>{0} << 0;
}

void TestPassthroughFraming::feed()
{
    QFETCH(int, limit);
    QFETCH(QByteArrayList, reads);
    QFETCH(QByteArrayList, writes);
    QFETCH(QString, disconnects);
    QFETCH(QList<int>, dropped);
    QFETCH(int, pendingAfter);

    PassthroughFraming framing(limit);
    // Each read lies in one buffer, as the bridge's reads do, overwritten by the next:
    // what the decoder keeps must not depend on it.
    int largest = 0;
    for (const QByteArray &read : reads)
        largest = qMax(largest, read.size());
    QByteArray buffer(largest, '#');
    for (int i = 0; i < reads.size(); ++i) {
        buffer.fill('#');
        buffer.replace(0, reads.at(i).size(), reads.at(i));
        const PassthroughFraming::Result r = framing.feed(buffer.constData(), reads.at(i).size());
        QCOMPARE(QByteArray(r.toSerial, r.toSerialSize), writes.at(i));
        QCOMPARE(r.hmiDisconnected, disconnects.at(i) == QLatin1Char('1'));
        QCOMPARE(r.dropped, dropped.at(i));
    }
    QCOMPARE(framing.pending(), pendingAfter);
}

void TestPassthroughFraming::serialToRelay_data()
{
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("modbus request") << hex("01030000000a") << hex("01030000000a" "245f24");
    QTest::newRow("delimiter inside is sent as it is") << QByteArray("a$_$b")
        << hex("61245f2462" "245f24");
}

void TestPassthroughFraming::serialToRelay()
{
    QFETCH(QByteArray, serial);
    QFETCH(QByteArray, expected);
    QCOMPARE(PassthroughFraming::serialToRelay(serial).toHex(), expected.toHex());
}

QTEST_APPLESS_MAIN(TestPassthroughFraming)
#include "tst_passthroughframing.moc"
