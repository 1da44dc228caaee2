#include <QFileInfo>
#include <QtTest>

#include "firmwaremodeltable.h"
#include "relayframe.h"
#include "typecompare.h"

namespace {
QByteArray hex(const char *h)
{
    return QByteArray::fromHex(QByteArray(h));
}
} // namespace

class TestFirmwareModelTable : public QObject
{
    Q_OBJECT

private slots:
    void typeCompare_data();
    void typeCompare();
};

void TestFirmwareModelTable::typeCompare_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");

    // Every row of the table, each with the reply of the panel it belongs to.
    const struct { const char *reply; const char *name; } rows[] = {
        {"2e0201", "PRV052K118-E600X600N_WIFI01"},
        {"2e0202", "PRV052K118-E600X600N_WIFI02"},
        {"2e0203", "PRV052K118-E600X600N_WIFI03"},
        {"3c0101", "PLN050K01_4G01"},
        {"3c0201", "PLN050K01_WIFI01"},
        {"3c0102", "PLN050K01_4G02"},
        {"3c0202", "PLN050K01_WIFI02"},
        {"460101", "PLN080K01_4G01"},
        {"460201", "PLN080K01_WIFI01"},
        {"460102", "PLN080K01_4G02"},
        {"460202", "PLN080K01_WIFI02"},
        {"5a0101", "PLN120K01_4G01"},
        {"5a0201", "PLN120K01_WIFI01"},
        {"5a0102", "PLN120K01_4G02"},
        {"5a0202", "PLN120K01_WIFI02"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << hex(r.reply) << QString("/opt/images/%1.bin").arg(r.name) << true;

    QTest::newRow("wrong communication type") << hex("460102") << "/x/PLN080K01_WIFI02.bin" << false;
    QTest::newRow("wrong module") << hex("460201") << "/x/PLN080K01_WIFI02.bin" << false;
    QTest::newRow("other model's name") << hex("3c0202") << "/x/PLN080K01_WIFI02.bin" << false;
    QTest::newRow("lower case") << hex("460202") << "/x/pln080k01_wifi02.bin" << false;
    QTest::newRow("second extension") << hex("460202") << "/x/PLN080K01_WIFI02.new.bin" << true;
    QTest::newRow("no extension") << hex("460202") << "PLN080K01_WIFI02" << true;
    QTest::newRow("relative dir") << hex("460202") << "a/b/PLN080K01_WIFI02.bin" << true;
    QTest::newRow("model-named dir ignored") << hex("460202") << "/x/PLN080K01_WIFI02/fw.bin" << false;
    QTest::newRow("prefix") << hex("460202") << "/x/xPLN080K01_WIFI02.bin" << false;
    QTest::newRow("suffix") << hex("460202") << "/x/PLN080K01_WIFI02x.bin" << false;
    QTest::newRow("46 never 4G") << hex("2e0101") << "/x/PRV052K118-E600X600N_4G01.bin" << false;
    QTest::newRow("46 with 4G comm") << hex("2e0101") << "/x/PRV052K118-E600X600N_WIFI01.bin" << false;
    QTest::newRow("model 47") << hex("2f0201") << "/x/PRV052K118-E600X600N_WIFI01.bin" << false;
    QTest::newRow("module 3 only on 46") << hex("460203") << "/x/PLN080K01_WIFI03.bin" << false;
    QTest::newRow("extra reply bytes") << hex("460202ff") << "/x/PLN080K01_WIFI02.bin" << true;
    QTest::newRow("short reply") << hex("46") << "/x/PLN080K01_WIFI02.bin" << false;
    QTest::newRow("empty reply") << QByteArray() << "/x/PLN080K01_WIFI02.bin" << false;
    QTest::newRow("empty path") << hex("460202") << "" << false;
}

void TestFirmwareModelTable::typeCompare()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    QCOMPARE(::typeCompare(reply, path), accepted);
    // The names offered for a panel are exactly the ones its check accepts.
    const RelayFrame::ModelReply r = RelayFrame::modelReply(reply);
    const QString name = QFileInfo(path).baseName();
    QCOMPARE(FirmwareModelTable::namesFor(r.model, r.comm, r.module).contains(name), accepted);
}

QTEST_APPLESS_MAIN(TestFirmwareModelTable)
#include "tst_firmwaremodeltable.moc"
