#include <QtTest>

#include "serialcommname.h"

class TestSerialCommName : public QObject
{
    Q_OBJECT

private slots:
    void fromValueData_data();
    void fromValueData();
    void lengthLimitsTheRead();
};

void TestSerialCommName::fromValueData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("name");

    QTest::newRow("COM12 as UTF-16 with its terminator")
        << QByteArray::fromHex("43004F004D00310032000000") << QStringLiteral("COM12");
    QTest::newRow("PENT255") << QByteArray::fromHex("500045004E0054003200350035000000")
                             << QStringLiteral("PENT255");
    QTest::newRow("without terminator") << QByteArray::fromHex("43004F004D003300")
                                        << QStringLiteral("COM3");
    QTest::newRow("zero bytes anywhere are skipped") << QByteArray::fromHex("000043000000004F4D00")
                                                     << QStringLiteral("COM");
    // A high byte is read as a signed 8-bit value: 0x80 becomes U+FF80, 0xFF U+FFFF.
    QTest::newRow("byte 0x80") << QByteArray::fromHex("430080004D00")
                               << (QStringLiteral("C") + QChar(0xFF80) + QStringLiteral("M"));
    QTest::newRow("byte 0xFF") << QByteArray::fromHex("FF00") << QString(QChar(0xFFFF));
    // A UTF-16 unit above 0xFF contributes both of its bytes as units of their own.
    QTest::newRow("wide unit split into bytes") << QByteArray::fromHex("4301") << QStringLiteral("C\x01");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("only zeros") << QByteArray(8, '\0') << QString();
}

void TestSerialCommName::fromValueData()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, name);
    QCOMPARE(SerialCommName::fromValueData(data), name);
    QCOMPARE(SerialCommName::fromValueData(reinterpret_cast<const unsigned char *>(data.constData()),
                                           data.size()),
             name);
}

void TestSerialCommName::lengthLimitsTheRead()
{
    // The enumeration's data length bounds the read, not the buffer's contents.
    const QByteArray buffer = QByteArray::fromHex("43004F004D0037003700");
    QCOMPARE(SerialCommName::fromValueData(reinterpret_cast<const unsigned char *>(buffer.constData()), 8),
             QStringLiteral("COM7"));
    QCOMPARE(SerialCommName::fromValueData(nullptr, 4), QString());
}

QTEST_APPLESS_MAIN(TestSerialCommName)
#include "tst_serialcommname.moc"
