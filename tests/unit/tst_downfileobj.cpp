#include <QtTest>

#include <QMutex>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

#include "downfileobj.h"
#include "testzip.h"
#include "unpackfolders.h"

class TestDownFileObj : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void stopFlag_data();
    void stopFlag();
    void stopDuringUnpack_data();
    void stopDuringUnpack();
    void unpackFolder_data();
    void unpackFolder();

private:
    QTemporaryDir m_dir;
    QString m_largeArchive;
};

void TestDownFileObj::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // 900 MiB of zeros in three entries: within the limits, a few MB on disk, and long
    // enough to unpack that a stop lands in the middle.
    m_largeArchive = m_dir.filePath("large.zip");
    QVERIFY(TestZip::writeZeros(m_largeArchive, 3, qint64(300) << 20));
}

void TestDownFileObj::cleanup()
{
    for (const char *dir : {"/compile", "/target"})
        QDir(QCoreApplication::applicationDirPath() + dir).removeRecursively();
}

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

void TestDownFileObj::stopDuringUnpack_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("unpackDir");
    QTest::newRow("project download (compile.zip)") << 1 << "/compile";
    QTest::newRow("cloud sync (target.zip)") << 2 << "/target";
}

// Closing the dialog during a large unpack: the worker ends within 200 ms of the stop,
// and says nothing (no relay or cloud service is there to be reached).
void TestDownFileObj::stopDuringUnpack()
{
    QFETCH(int, op);
    QFETCH(QString, unpackDir);
    const QString unpacked = QCoreApplication::applicationDirPath() + unpackDir + "/zeros0.bin";
    QFile::remove(unpacked);

    QThread thread;
    auto *worker = new DownFileOBJ("86", "demo", "demo123");
    worker->moveToThread(&thread);
    QMutex lock;
    QStringList texts;
    QElapsedTimer sinceStop;
    std::atomic<qint64> endedAfterMs{-1};
    std::atomic<int> ends{0};
    connect(worker, &DownFileOBJ::information, worker, [&](int, const QString &text) {
        QMutexLocker locked(&lock);
        texts << text;
    }, Qt::DirectConnection);
    connect(worker, &DownFileOBJ::finishThrd, worker, [&](int) {
        QMutexLocker locked(&lock);
        if (sinceStop.isValid())
            endedAfterMs = sinceStop.elapsed();
        ++ends;
    }, Qt::DirectConnection);
    thread.start();
    const QString archive = m_largeArchive;
    QMetaObject::invokeMethod(worker, [worker, op, archive] {
        if (op == 1)
            worker->updateConfigTcp(archive, 8192, false, false);
        else
            worker->updateCloudConf(archive, false);
    }, Qt::QueuedConnection);

    QDeadlineTimer bound(20000);
    while (QFileInfo(unpacked).size() == 0 && ends == 0 && !bound.hasExpired())
        QThread::msleep(2);
    QVERIFY2(QFileInfo(unpacked).size() > 0 && ends == 0, "the unpacking was not seen under way");
    {
        QMutexLocker locked(&lock);
        sinceStop.start();
    }
    worker->setStopFlag(true);
    QTRY_COMPARE_WITH_TIMEOUT(ends.load(), 1, 10000);
    QVERIFY2(endedAfterMs >= 0 && endedAfterMs <= 200, qPrintable(QString::number(endedAfterMs)));
    QVERIFY2(QFileInfo(unpacked).size() < (qint64(300) << 20), "the unpacking went on to the end");
    thread.quit();
    QVERIFY(thread.wait(10000));
    QCOMPARE(ends.load(), 1);
    QCOMPARE(texts, QStringList());
    delete worker;
}

void TestDownFileObj::unpackFolder_data()
{
    // programDir: "" a writable temporary folder, else that path. The folder expected
    // is under the program folder or under the per-user one.
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<bool>("perUser");
    QTest::newRow("writable program folder (build tree)") << "" << false;
    // Not writable even for root (tests may run as root, who writes past file modes).
    QTest::newRow("program folder nobody may write (installed)") << "/proc/self" << true;
    QTest::newRow("program folder missing") << "/nonexistent/vantelo/bin" << true;
}

void TestDownFileObj::unpackFolder()
{
    QFETCH(QString, programDir);
    QFETCH(bool, perUser);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    if (programDir.isEmpty())
        programDir = tmp.filePath("bin");
    QVERIFY(QDir().mkpath(tmp.filePath("bin")));
    const QString perUserDir = tmp.filePath("home/.local/share/vantelo");

    const QString folder = UnpackFolders::choose(programDir, perUserDir, "compile");
    QCOMPARE(folder, (perUser ? perUserDir : programDir) + "/compile");
    QCOMPARE(QFileInfo(perUserDir).isDir(), perUser);
}

QTEST_GUILESS_MAIN(TestDownFileObj)
#include "tst_downfileobj.moc"
