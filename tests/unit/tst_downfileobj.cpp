#include <QtTest>

#include "downfileobj.h"

class TestDownFileObj : public QObject
{
    Q_OBJECT
private slots:
    void stopFlag_data();
    void stopFlag();
};

void TestDownFileObj::stopFlag_data()
{
    // Calls of setStopFlag in order ("" none); the state after the last one.
    QTest::addColumn<QString>("calls");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<int>("reply");
    QTest::addColumn<int>("io");
    QTest::addColumn<int>("connect");
    QTest::newRow("as constructed") << "" << false << 5000 << 10000 << 3000;
    QTest::newRow("stopped") << "1" << true << 1 << 1 << 1;
    QTest::newRow("stopped twice") << "11" << true << 1 << 1 << 1;
    QTest::newRow("stopped then restored") << "10" << false << 5000 << 10000 << 3000;
    QTest::newRow("restored twice, stopped again") << "1001" << true << 1 << 1 << 1;
    QTest::newRow("cleared without a stop") << "0" << false << 5000 << 10000 << 3000;
}

void TestDownFileObj::stopFlag()
{
    QFETCH(QString, calls);
    QFETCH(bool, stop);
    QFETCH(int, reply);
    QFETCH(int, io);
    QFETCH(int, connect);
    DownFileOBJ worker("86", "demo", "demo123");
    for (QChar c : calls)
        worker.setStopFlag(c == '1');
    QCOMPARE(worker.stopFlag(), stop);
    QCOMPARE(worker.replyTimeout(), reply);
    QCOMPARE(worker.ioTimeout(), io);
    QCOMPARE(worker.connectTimeout(), connect);
}

QTEST_GUILESS_MAIN(TestDownFileObj)
#include "tst_downfileobj.moc"
