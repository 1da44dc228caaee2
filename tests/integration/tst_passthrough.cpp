// The serial pass-through end to end: a real virtual pair in a private pair
// directory, lab-relay and lab-panel as separate processes, and the worker driven
// either on a thread of its own or through the dialog. The test plays the PLC
// programming software on COMn.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLibrary>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "labprocess.h"
#include "pairsweep.h"
#include "relaylab.h"
#include "testfiles.h"
#include "penetration_setdlg.h"
#include "penetrationobj.h"

namespace {

using PairFn = bool (*)(const char *, const char *);
using DeleteFn = bool (*)(const char *);

const QString kEcho = QStringLiteral("860000000000301");
const QString kSplit = QStringLiteral("860000000000302");
const QString kNone = QStringLiteral("860000000000303");
const QString kExtra = QStringLiteral("860000000000304");
const QString kCase = QStringLiteral("860000000000305");
const QString kSplitGoAhead = QStringLiteral("860000000000306");
const QString kRefused = QStringLiteral("860000000000307");
const QString kZeroTail = QStringLiteral("860000000000308");
const QString kLeaving = QStringLiteral("860000000000309");
const QString kEcho2 = QStringLiteral("860000000000310");
const QString kEcho3 = QStringLiteral("860000000000311");
const QString kNone2 = QStringLiteral("860000000000312");
const QString kEcho4 = QStringLiteral("860000000000313");
const QString kCoalesced = QStringLiteral("860000000000314");
const QString kRelayCloses = QStringLiteral("860000000000315");
const QString kRelayResets = QStringLiteral("860000000000316");
const QString kPaused = QStringLiteral("860000000000317");
const QString kSending = QStringLiteral("860000000000318");

constexpr int kWaitMs = 1200; // the worker's socket waits in this test

// What the worker reports, in the order it reports it, on the test's thread.
class Recorder : public QObject
{
    Q_OBJECT
public:
    QStringList messages;
    QList<bool> flags;
    int finished = 0;
    QStringList sequence; // messages and "finishThrd" interleaved
public slots:
    void information(QString text, bool ok)
    {
        messages << text;
        flags << ok;
        sequence << text;
    }
    void finishThrd()
    {
        ++finished;
        sequence << QStringLiteral("finishThrd");
    }
};

// A worker on its own thread, driven like the dialog drives it.
class WorkerRun
{
public:
    WorkerRun()
    {
        obj = new PenetrationOBJ(QString());
        obj->moveToThread(&thread);
        QObject::connect(obj, &PenetrationOBJ::information, &rec, &Recorder::information,
                         Qt::QueuedConnection);
        QObject::connect(obj, &PenetrationOBJ::finishThrd, &rec, &Recorder::finishThrd,
                         Qt::QueuedConnection);
        thread.start();
    }
    ~WorkerRun()
    {
        stop();
        thread.quit();
        thread.wait();
        delete obj;
    }
    void open(const QString &imei, int comIndex)
    {
        PenetrationOBJ *o = obj;
        QMetaObject::invokeMethod(obj, [o, imei, comIndex] {
            o->openNetComPenetrate(imei, comIndex, 9600, 8, 2, 1, 30000);
        }, Qt::QueuedConnection);
    }
    void stop()
    {
        if (thread.isRunning())
            QMetaObject::invokeMethod(obj, &PenetrationOBJ::closeNetComPenetrate,
                                      Qt::BlockingQueuedConnection);
    }
    QThread thread;
    PenetrationOBJ *obj;
    Recorder rec;
};

// COMn, opened the way the PLC programming software would: raw, no flow control.
class ComSide
{
public:
    explicit ComSide(const QString &path)
    {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (fd >= 0 && ::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    ~ComSide()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool isOpen() const { return fd >= 0; }
    // Writes all of data (the port may take it in parts), serving events meanwhile.
    bool write(const QByteArray &data)
    {
        qint64 sent = 0;
        QElapsedTimer quiet;
        quiet.start();
        while (sent < data.size() && quiet.elapsed() < 3000) {
            const ssize_t w = ::write(fd, data.constData() + sent, size_t(data.size() - sent));
            if (w > 0) {
                sent += w;
                quiet.restart();
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return sent == data.size();
    }
    // A stream without "$_$" that the test never holds whole: byte p is p % 251 + 1, as
    // in the lab panel's passthroughSend.
    struct Flood
    {
        qint64 sent = 0;
        qint64 back = 0;
        qint64 wrong = 0; // bytes read back that differ from what was written there
    };
    // Writes the stream on until `until` bytes are out and, when reading, checks what
    // comes back, serving events, until all is out (and back) or nothing has moved
    // for stallMs.
    void flood(Flood *f, qint64 until, bool reading, int stallMs)
    {
        char buf[65536];
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < stallMs && (f->sent < until || (reading && f->back < f->sent))) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const bool writing = f->sent < until;
            pollfd p{fd, short((writing ? POLLOUT : 0) | (reading ? POLLIN : 0)), 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            if (writing && (p.revents & POLLOUT)) {
                const int n = int(qMin<qint64>(sizeof buf, until - f->sent));
                for (int i = 0; i < n; ++i)
                    buf[i] = char((f->sent + i) % 251 + 1);
                const ssize_t w = ::write(fd, buf, size_t(n));
                if (w > 0) {
                    f->sent += w;
                    quiet.restart();
                }
            }
            if (reading && (p.revents & POLLIN)) {
                const ssize_t r = ::read(fd, buf, sizeof buf);
                for (ssize_t i = 0; i < r; ++i)
                    f->wrong += buf[i] != char((f->back + i) % 251 + 1);
                if (r > 0) {
                    f->back += r;
                    quiet.restart();
                }
            }
        }
    }
    // Reads until n bytes have arrived or the time is up, serving events meanwhile.
    QByteArray read(int n, int timeoutMs)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < n && clock.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t r = ::read(fd, buf, sizeof buf);
                if (r > 0)
                    got.append(buf, int(r));
            }
        }
        return got;
    }
    int fd = -1;
};

QJsonObject panel(const QString &imei, const QJsonObject &faults = QJsonObject())
{
    return labPanel(imei, 70, 2, 2, 258, faults);
}

} // namespace

class TestPassthrough : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void startOutcomes_data();
    void startOutcomes();
    void abortShortensGoAheadWait();
    void bridgeCarriesBytes_data();
    void bridgeCarriesBytes();
    void serialRequestReachesPanel();
    void relayFrameSplitArrivesWhole();
    void panelLeavingIsReportedBridgeStays();
    void coalescedMessagesReachPortWhole();
    void relayLossEndsPassThrough_data();
    void relayLossEndsPassThrough();
    void floodStaysBounded_data();
    void floodStaysBounded();
    void deviceLossReportedOnce();
    void dialogFailures_data();
    void dialogFailures();
    void stopWhileBridging();
    void closeWhileStarting();
    void closeWhileBridging_data();
    void closeWhileBridging();
    void countsAndTrace();

private:
    QString comPath(int n) const { return QDir(m_pairDir.path()).filePath(QStringLiteral("COM%1").arg(n)); }
    bool deletePair(int n);
    bool pairListed(int n) const;
    QList<QJsonObject> relayEvents(const QString &imei, const QString &event) const;
    QList<QJsonObject> panelEvents(const QString &imei, const QString &event) const;
    Penetration_setDlg *startDialog(const QString &imei, int n);
    template <typename T> static T *child(QObject *o, const char *name)
    {
        return o->findChild<T *>(QLatin1String(name));
    }

    QTemporaryDir m_pairDir;
    RelayLab m_lab;
    QString m_leavingEvents;
    LabProcess m_leavingPanel{QStringLiteral("lab-panel")};
    QLibrary m_driver;
    QByteArray m_relayPort;
    QPointer<Penetration_setDlg> m_bridge;
};

void TestPassthrough::initTestCase()
{
    QVERIFY(m_pairDir.isValid());
    qputenv("VSPD_DIR", QFile::encodeName(m_pairDir.path()));
    qputenv("VANTELO_PASSTHROUGH_WAIT_MS", QByteArray::number(kWaitMs));

    const QJsonArray panels{
        panel(kEcho), panel(kSplit, {{"passthroughSplit", true}}), panel(kNone, {{"goAhead", "none"}}),
        panel(kExtra, {{"goAhead", "extra"}}), panel(kCase, {{"goAhead", "case"}}),
        panel(kSplitGoAhead, {{"goAhead", "split"}}), panel(kRefused, {{"refuse", true}}),
        panel(kZeroTail, {{"goAhead", "zeroTail"}}), panel(kLeaving), panel(kEcho2), panel(kEcho3),
        panel(kNone2, {{"goAhead", "none"}}), panel(kEcho4),
        panel(kCoalesced, {{"coalesceMs", 300}, {"passthroughLeaveAfter", 2}}),
        panel(kRelayCloses, {{"closeAfterBytes", 20}}), panel(kRelayResets, {{"resetAfterBytes", 20}}),
        panel(kPaused, {{"pauseDesktopMs", 2000}}), panel(kSending, {{"passthroughSend", 32 << 20}})};
    QStringList others;
    for (const QJsonValue &p : panels)
        if (p.toObject().value("imei").toString() != kLeaving)
            others << p.toObject().value("imei").toString();
    QVERIFY2(m_lab.start(panels, QJsonObject(), others), qPrintable(m_lab.failure()));
    m_leavingEvents = m_lab.path("leaving.jsonl");
    QVERIFY2(m_lab.startPanels(m_leavingPanel, m_leavingEvents, {kLeaving}), qPrintable(m_lab.failure()));
    m_relayPort = QByteArray::number(m_lab.relayPort());

    m_driver.setFileName(LabProcess::programPath(QStringLiteral("libvspdctl.so")));
    QVERIFY2(m_driver.load(), qPrintable(m_driver.errorString()));
}

void TestPassthrough::cleanup()
{
    qputenv("VANTELO_RELAY_PORT", m_relayPort);
}

void TestPassthrough::cleanupTestCase()
{
    delete m_bridge;
    sweepPairs(m_pairDir.path(), m_driver.fileName());
}

bool TestPassthrough::deletePair(int n)
{
    auto del = reinterpret_cast<DeleteFn>(m_driver.resolve("DeletePair"));
    return del && del(QStringLiteral("COM%1").arg(n).toLatin1().constData());
}

bool TestPassthrough::pairListed(int n) const
{
    return QFileInfo::exists(comPath(n))
        && QFileInfo::exists(QDir(m_pairDir.path()).filePath(QStringLiteral("PENT%1").arg(n)));
}

QList<QJsonObject> TestPassthrough::relayEvents(const QString &imei, const QString &event) const
{
    return linesWith(readEventLines(m_lab.relayEvents()), {{"imei", imei}, {"event", event}});
}

QList<QJsonObject> TestPassthrough::panelEvents(const QString &imei, const QString &event) const
{
    return linesWith(readEventLines(m_lab.panelEvents()) + readEventLines(m_leavingEvents),
                     {{"imei", imei}, {"event", event}});
}

namespace {
// The dialog with the trace file chosen by the test.
class TracingDlg : public Penetration_setDlg
{
public:
    QString traceFile;

protected:
    QString chooseTraceFile() override { return traceFile; }
};
} // namespace

// A shown dialog for `imei` on COMn whose pass-through is up.
Penetration_setDlg *TestPassthrough::startDialog(const QString &imei, int n)
{
    auto *dlg = new TracingDlg;
    dlg->setIMEI(imei);
    dlg->show();
    child<QComboBox>(dlg, "comboBox_addPort1")->setCurrentIndex(n - 1);
    QTest::mouseClick(child<QPushButton>(dlg, "btn_openNetUsbPenetrate"), Qt::LeftButton);
    auto *info = child<QLabel>(dlg, "label_networkInfo");
    QElapsedTimer clock;
    clock.start();
    while (info->text() != QStringLiteral("穿透服务打开成功") && clock.elapsed() < 8000)
        QTest::qWait(10);
    return dlg;
}

void TestPassthrough::startOutcomes_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<bool>("relayDown");
    QTest::addColumn<QString>("last");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("finished");
    const QString up = QStringLiteral("穿透服务打开成功");
    const QString refused = QStringLiteral("穿透服务打开失败");
    QTest::newRow("go-ahead") << kEcho4 << false << up << true << 0;
    QTest::newRow("go-ahead with a zero tail") << kZeroTail << false << up << true << 0;
    QTest::newRow("no relay") << kEcho4 << true << QStringLiteral("连接服务器超时") << false << 0;
    QTest::newRow("no go-ahead") << kNone << false << QStringLiteral("连接穿透服务超时") << false << 1;
    QTest::newRow("go-ahead with extra bytes") << kExtra << false << refused << false << 1;
    QTest::newRow("go-ahead in other case") << kCase << false << refused << false << 1;
    QTest::newRow("go-ahead in two pieces") << kSplitGoAhead << false << refused << false << 1;
    QTest::newRow("panel offline") << kRefused << false << refused << false << 1;
}

void TestPassthrough::startOutcomes()
{
    QFETCH(QString, imei);
    QFETCH(bool, relayDown);
    QFETCH(QString, last);
    QFETCH(bool, ok);
    QFETCH(int, finished);
    const int n = 40;
    if (relayDown)
        qputenv("VANTELO_RELAY_PORT", QByteArray::number(freeLoopbackPort()));

    QElapsedTimer clock;
    clock.start();
    {
        WorkerRun run;
        run.open(imei, n - 1);
        QTRY_VERIFY_WITH_TIMEOUT(run.rec.messages.contains(last), kWaitMs + 8000);
        QTest::qWait(100); // nothing may follow but finishThrd
        // The pair is made (or found) and opened, then the relay decides.
        QVERIFY2(run.rec.messages.first() == QStringLiteral("COM40打开成功")
                     || run.rec.messages.mid(0, 2) == QStringList({"COM40已存在", "COM40打开成功"}),
                 qPrintable(run.rec.messages.join('|')));
        QCOMPARE(run.rec.messages.last(), last);
        QCOMPARE(run.rec.flags.last(), ok);
        QCOMPARE(run.rec.flags.count(true), ok ? 1 : 0);
        QCOMPARE(run.rec.finished, finished);
        if (finished)
            QCOMPARE(run.rec.sequence.last(), QStringLiteral("finishThrd"));
        if (relayDown)
            QVERIFY2(clock.elapsed() < 3000, "a refused connection must fail at once");
        if (!ok)
            QVERIFY2(deletePair(n), "a failed start must release the tool side");
    }
    // Once the worker has stopped, nothing holds PENTn any more.
    if (pairListed(n))
        QVERIFY(deletePair(n));
    QVERIFY(!pairListed(n));
}

void TestPassthrough::abortShortensGoAheadWait()
{
    const int n = 41;
    WorkerRun run;
    const int before = relayEvents(kNone2, "desktop-registered").size();
    run.open(kNone2, n - 1);
    QTRY_VERIFY_WITH_TIMEOUT(relayEvents(kNone2, "desktop-registered").size() > before, 5000);
    QElapsedTimer clock;
    clock.start();
    run.obj->setAbort(true);
    QTRY_COMPARE_WITH_TIMEOUT(run.rec.finished, 1, 2000);
    QVERIFY2(clock.elapsed() < kWaitMs / 2, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.rec.messages.last(), QStringLiteral("连接穿透服务超时"));
}

void TestPassthrough::bridgeCarriesBytes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("back");
    QTest::newRow("text") << QByteArray("hello PLC") << QByteArray("hello PLC");
    QTest::newRow("modbus request") << QByteArray::fromHex("01030000000a") << QByteArray::fromHex("01030000000a");
    QTest::newRow("zero bytes inside") << QByteArray::fromHex("00ff000102") << QByteArray::fromHex("00ff000102");
    // On this wire a "$_$" in the serial data ends a message wherever it stands.
    QTest::newRow("delimiter inside") << QByteArray("AB$_$CD") << QByteArray("ABCD");
    // More than one serial read, echoed by the panel as several messages that may
    // reach the program together: nothing may be lost, added or altered.
    QByteArray big;
    for (int i = 0; i < 20000; ++i)
        big.append(char(i * 7 + 3));
    big.replace("$_$", "$-$");
    QTest::newRow("20000 bytes") << big << big;
}

void TestPassthrough::bridgeCarriesBytes()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, back);
    // One bridge serves all rows.
    const int n = 7;
    if (!m_bridge)
        m_bridge = startDialog(kEcho, n);
    Penetration_setDlg *dlg = m_bridge;
    QCOMPARE(child<QLabel>(dlg, "label_networkInfo")->text(), QStringLiteral("穿透服务打开成功"));
    ComSide com(comPath(n));
    QVERIFY(com.isOpen());
    QVERIFY(com.write(data));
    QCOMPARE(com.read(back.size(), 5000), back);
    QCOMPARE(com.read(1, 100), QByteArray()); // and nothing more

    const QByteArray shot = qgetenv("VANTELO_SHOT_PATH");
    if (!shot.isEmpty() && QByteArray(QTest::currentDataTag()) == "20000 bytes") {
        QTest::qWait(200);
        QVERIFY(dlg->grab().save(QString::fromLocal8Bit(shot)));
    }
    if (QByteArray(QTest::currentDataTag()) == "20000 bytes") {
        dlg->close();
        delete dlg;
        ::close(com.fd);
        com.fd = -1;
        QVERIFY(deletePair(n));
    }
}

void TestPassthrough::serialRequestReachesPanel()
{
    const int n = 8;
    const QByteArray request = QByteArray::fromHex("01030000000a");
    QScopedPointer<Penetration_setDlg> dlg(startDialog(kEcho2, n));
    QCOMPARE(child<QLabel>(dlg.data(), "label_networkInfo")->text(), QStringLiteral("穿透服务打开成功"));
    ComSide com(comPath(n));
    QVERIFY(com.write(request));
    QCOMPARE(com.read(request.size(), 5000), request);
    const QList<QJsonObject> in = panelEvents(kEcho2, "passthrough-in");
    QCOMPARE(in.size(), 1);
    QCOMPARE(in.first().value("hex").toString(), QStringLiteral("01030000000a"));
    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    // The relay counted what the desktop sent: 6 bytes and "$_$".
    QTRY_COMPARE_WITH_TIMEOUT(relayEvents(kEcho2, "session-end").size(), 1, 3000);
    QCOMPARE(relayEvents(kEcho2, "session-end").first().value("toPanel").toInt(), 9);
    QCOMPARE(relayEvents(kEcho2, "session-end").first().value("toDesktop").toInt(), 9);
}

void TestPassthrough::relayFrameSplitArrivesWhole()
{
    // The panel sends each reply to the relay in two writes 30 ms apart: the first
    // piece has no delimiter and must wait for the second.
    const int n = 9;
    QScopedPointer<Penetration_setDlg> dlg(startDialog(kSplit, n));
    QCOMPARE(child<QLabel>(dlg.data(), "label_networkInfo")->text(), QStringLiteral("穿透服务打开成功"));
    ComSide com(comPath(n));
    for (const QByteArray &data : {QByteArray("0123456789abcdefghij"), QByteArray::fromHex("0103140001000200030004")}) {
        QVERIFY(com.write(data));
        QCOMPARE(com.read(data.size(), 5000), data);
        QCOMPARE(com.read(1, 100), QByteArray());
    }
    QVERIFY(panelEvents(kSplit, "fault").size() >= 2);
}

void TestPassthrough::panelLeavingIsReportedBridgeStays()
{
    const int n = 10;
    QScopedPointer<Penetration_setDlg> dlg(startDialog(kLeaving, n));
    auto *info = child<QLabel>(dlg.data(), "label_networkInfo");
    QCOMPARE(info->text(), QStringLiteral("穿透服务打开成功"));
    m_leavingPanel.stop();
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("HMI端断开连接"), 5000);
    QTest::qWait(200);
    // Still up: the stop button is the way out, and PENTn is still held.
    QVERIFY(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate")->isEnabled());
    QVERIFY(!child<QPushButton>(dlg.data(), "btn_openNetUsbPenetrate")->isEnabled());
    QVERIFY(!deletePair(n));
    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    QCOMPARE(info->text(), QStringLiteral("穿透服务断开"));
    QVERIFY(deletePair(n));
}

void TestPassthrough::coalescedMessagesReachPortWhole()
{
    // Two serial reads go out as two messages; the panel echoes each and leaves right
    // after the second, and the relay writes both echoes and its note that the panel
    // has gone in one write.
    const int n = 16;
    QScopedPointer<Penetration_setDlg> dlg(startDialog(kCoalesced, n));
    auto *info = child<QLabel>(dlg.data(), "label_networkInfo");
    QCOMPARE(info->text(), QStringLiteral("穿透服务打开成功"));
    ComSide com(comPath(n));
    QVERIFY(com.write("AB"));
    QTest::qWait(50);
    QVERIFY(com.write("CD"));
    QCOMPARE(com.read(4, 5000), QByteArray("ABCD"));
    QCOMPARE(com.read(1, 200), QByteArray());
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("HMI端断开连接"), 3000);
    const QList<QJsonObject> writes = relayEvents(kCoalesced, "fault");
    QCOMPARE(writes.size(), 1);
    QCOMPARE(writes.first().value("len").toInt(), int(strlen("AB$_$CD$_$disconnected,2$_$")));
    QVERIFY(writes.first().value("panelGone").toBool());
    // Reported only: the bridge stays until the user stops it.
    QVERIFY(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate")->isEnabled());
    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    ::close(com.fd);
    com.fd = -1;
    QVERIFY(deletePair(n));
}

void TestPassthrough::relayLossEndsPassThrough_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<int>("n");
    QTest::newRow("relay closes") << kRelayCloses << 17;
    QTest::newRow("relay resets") << kRelayResets << 18;
}

void TestPassthrough::relayLossEndsPassThrough()
{
    QFETCH(QString, imei);
    QFETCH(int, n);
    QScopedPointer<Penetration_setDlg> dlg(startDialog(imei, n));
    auto *info = child<QLabel>(dlg.data(), "label_networkInfo");
    auto *open = child<QPushButton>(dlg.data(), "btn_openNetUsbPenetrate");
    QCOMPARE(info->text(), QStringLiteral("穿透服务打开成功"));
    {
        ComSide com(comPath(n));
        // Past the relay's 20 bytes: the connection goes while bridging.
        QVERIFY(com.write(QByteArray(30, 'x')));
        QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("穿透服务连接已断开"), 5000);
        QTest::qWait(200);
        QCOMPARE(info->text(), QStringLiteral("穿透服务连接已断开"));
        QVERIFY(open->isEnabled());
        QVERIFY(!child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate")->isEnabled());
        QVERIFY(child<QPushButton>(dlg.data(), "pbtn_del")->isEnabled());
        QCOMPARE(relayEvents(imei, "fault").size(), 1);
        QCOMPARE(relayEvents(imei, "desktop-left").size(), 1);
    }
    // PENTn was released: with COMn closed too, the pair can go.
    QVERIFY(deletePair(n));
    // And a new start works.
    QTest::mouseClick(open, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("穿透服务打开成功"), 8000);
    ComSide com(comPath(n));
    QVERIFY(com.write("again"));
    QCOMPARE(com.read(5, 5000), QByteArray("again"));
    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    ::close(com.fd);
    com.fd = -1;
    QVERIFY(deletePair(n));
}

void TestPassthrough::floodStaysBounded_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<int>("n");
    QTest::addColumn<qint64>("panelSends");
    // The relay reads nothing from the program for 2 s: the test writes to COMn until
    // that stalls.
    QTest::newRow("relay reads nothing") << kPaused << 19 << qint64(0);
    // The panel sends 32 MiB while the test reads nothing from COMn for 1.5 s.
    QTest::newRow("COMn read by nobody") << kSending << 20 << qint64(32 << 20);
}

void TestPassthrough::floodStaysBounded()
{
    // Either way the program's memory grows by a few MiB only, and afterwards every
    // byte arrives.
    QFETCH(QString, imei);
    QFETCH(int, n);
    QFETCH(qint64, panelSends);
    const qint64 cap = 96ll * 1024 * 1024;
    {
        // What a first window of the process costs (fonts, platform) is not the bridge's.
        Penetration_setDlg first;
        first.show();
        QTest::qWait(50);
    }
    const qint64 before = residentKiB();
    QScopedPointer<Penetration_setDlg> dlg(startDialog(imei, n));
    QCOMPARE(child<QLabel>(dlg.data(), "label_networkInfo")->text(), QStringLiteral("穿透服务打开成功"));
    ComSide com(comPath(n));
    ComSide::Flood f;
    if (panelSends == 0) {
        com.flood(&f, cap, false, 1000);
        QVERIFY2(f.sent < cap, "the writes to COMn never stalled");
    } else {
        QTest::qWait(1500);
        f.sent = panelSends;
    }
    const qint64 grown = residentKiB() - before;
    qInfo() << "queued toward the port:" << f.sent << "memory grown by KiB:" << grown;
    QVERIFY2(grown < 8 * 1024 || !residentSizeTellsUse(), qPrintable(QString::number(grown)));

    com.flood(&f, f.sent, true, 5000);
    QCOMPARE(f.back, f.sent);
    QCOMPARE(f.wrong, qint64(0));
    QCOMPARE(com.read(1, 200), QByteArray());
    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    ::close(com.fd);
    com.fd = -1;
    QVERIFY(deletePair(n));
}

void TestPassthrough::deviceLossReportedOnce()
{
    const int n = 42;
    WorkerRun run;
    run.open(kEcho3, n - 1);
    QTRY_VERIFY_WITH_TIMEOUT(run.rec.messages.contains(QStringLiteral("穿透服务打开成功")), 8000);
    // The pair's socat goes away: PENTn loses its device under the open port.
    QFile pidFile(comPath(n) + QStringLiteral(".pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
    QVERIFY(pid > 0);
    QVERIFY(::kill(pid, SIGKILL) == 0);
    const QString lost = QStringLiteral("串口COM42异常断开，已关闭");
    QTRY_VERIFY_WITH_TIMEOUT(run.rec.messages.contains(lost), 3000);
    QTest::qWait(500);
    QCOMPARE(run.rec.messages.count(lost), 1);
    QCOMPARE(run.rec.finished, 0);
    // The worker thread is not spinning on the lost device: it serves a stop at once.
    QElapsedTimer clock;
    clock.start();
    run.stop();
    QVERIFY(clock.elapsed() < 500);
}

void TestPassthrough::dialogFailures_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<bool>("relayDown");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("staysStarted");
    QTest::newRow("no relay") << kEcho4 << true << QStringLiteral("连接服务器超时") << true;
    QTest::newRow("no go-ahead") << kNone << false << QStringLiteral("穿透服务断开") << false;
    QTest::newRow("refused") << kExtra << false << QStringLiteral("穿透服务断开") << false;
}

void TestPassthrough::dialogFailures()
{
    QFETCH(QString, imei);
    QFETCH(bool, relayDown);
    QFETCH(QString, message);
    QFETCH(bool, staysStarted);
    const int n = 11;
    if (relayDown)
        qputenv("VANTELO_RELAY_PORT", QByteArray::number(freeLoopbackPort()));
    Penetration_setDlg dlg;
    dlg.setIMEI(imei);
    dlg.show();
    child<QComboBox>(&dlg, "comboBox_addPort1")->setCurrentIndex(n - 1);
    QTest::mouseClick(child<QPushButton>(&dlg, "btn_openNetUsbPenetrate"), Qt::LeftButton);
    auto *info = child<QLabel>(&dlg, "label_networkInfo");
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), message, kWaitMs + 8000);
    QTest::qWait(100);
    QCOMPARE(child<QPushButton>(&dlg, "btn_closeNetUsbPenetrate")->isEnabled(), staysStarted);
    QCOMPARE(child<QPushButton>(&dlg, "pbtn_del")->isEnabled(), !staysStarted);
    if (staysStarted) {
        QTest::mouseClick(child<QPushButton>(&dlg, "btn_closeNetUsbPenetrate"), Qt::LeftButton);
        QCOMPARE(info->text(), QStringLiteral("穿透服务断开"));
    }
    // Back to idle, the user can remove the pair from the dialog: nothing holds it.
    QTest::mouseClick(child<QPushButton>(&dlg, "pbtn_del"), Qt::LeftButton);
    QCOMPARE(info->text(), QString());
    QVERIFY(!pairListed(n));
}

void TestPassthrough::stopWhileBridging()
{
    const int n = 12;
    QScopedPointer<Penetration_setDlg> dlg(startDialog(kEcho3, n));
    auto *info = child<QLabel>(dlg.data(), "label_networkInfo");
    QCOMPARE(info->text(), QStringLiteral("穿透服务打开成功"));
    ComSide com(comPath(n));
    QVERIFY(com.write("ping"));
    QCOMPARE(com.read(4, 5000), QByteArray("ping"));
    const int left = relayEvents(kEcho3, "desktop-left").size();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(info->text(), QStringLiteral("穿透服务断开"));
    QVERIFY(child<QPushButton>(dlg.data(), "btn_openNetUsbPenetrate")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(relayEvents(kEcho3, "desktop-left").size(), left + 1, 3000);
    // Bytes written now go nowhere.
    QVERIFY(com.write("late"));
    QCOMPARE(com.read(1, 300), QByteArray());
    // And the same dialog starts again on the same pair.
    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_openNetUsbPenetrate"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(info->text(), QStringLiteral("穿透服务打开成功"), 8000);
    QVERIFY(com.write("again"));
    QCOMPARE(com.read(5, 5000), QByteArray("again"));
    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    QVERIFY(!deletePair(n)); // the test itself still holds COMn
    ::close(com.fd);
    com.fd = -1;
    QVERIFY(deletePair(n));
}

void TestPassthrough::closeWhileStarting()
{
    const int n = 13;
    auto *dlg = new Penetration_setDlg;
    dlg->setIMEI(kNone2);
    dlg->show();
    child<QComboBox>(dlg, "comboBox_addPort1")->setCurrentIndex(n - 1);
    const int before = relayEvents(kNone2, "desktop-registered").size();
    QTest::mouseClick(child<QPushButton>(dlg, "btn_openNetUsbPenetrate"), Qt::LeftButton);
    // The worker has registered and now waits for a go-ahead that never comes.
    QTRY_VERIFY_WITH_TIMEOUT(relayEvents(kNone2, "desktop-registered").size() > before, 5000);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(dlg->close());
    QVERIFY2(clock.elapsed() < kWaitMs / 2, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!dlg->isVisible());
    delete dlg;
    QVERIFY(deletePair(n));
}

void TestPassthrough::closeWhileBridging_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("window closed") << false;
    QTest::newRow("Escape") << true;
}

void TestPassthrough::closeWhileBridging()
{
    QFETCH(bool, escape);
    const int n = escape ? 15 : 14;
    Penetration_setDlg *dlg = startDialog(kEcho3, n);
    QCOMPARE(child<QLabel>(dlg, "label_networkInfo")->text(), QStringLiteral("穿透服务打开成功"));
    const int left = relayEvents(kEcho3, "desktop-left").size();
    QElapsedTimer clock;
    if (escape) {
        // Modal, as the device window runs it.
        dlg->hide();
        QTimer::singleShot(50, dlg, [&] {
            clock.start();
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
        QTimer::singleShot(5000, dlg, [dlg] { dlg->hide(); });
        QCOMPARE(dlg->exec(), int(QDialog::Rejected));
    } else {
        clock.start();
        QVERIFY(dlg->close());
    }
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    delete dlg;
    QTRY_COMPARE_WITH_TIMEOUT(relayEvents(kEcho3, "desktop-left").size(), left + 1, 3000);
    QVERIFY2(deletePair(n), "the port must be released when the window goes");
}

// The dialog shows the COM side's path, counts the bytes both ways and traces them
// into the file the user chose, from start to stop of the trace.
void TestPassthrough::countsAndTrace()
{
    const int n = 16;
    QScopedPointer<Penetration_setDlg> dlg(startDialog(kEcho3, n));
    QCOMPARE(child<QLabel>(dlg.data(), "label_networkInfo")->text(), QStringLiteral("穿透服务打开成功"));
    QCOMPARE(child<QLabel>(dlg.data(), "label_comPath")->text(), comPath(n));
    QTest::mouseClick(child<QPushButton>(dlg.data(), "pbtn_copyPath"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), comPath(n));

    QTemporaryDir dir;
    static_cast<TracingDlg *>(dlg.data())->traceFile = dir.filePath("trace.txt");
    auto *trace = child<QPushButton>(dlg.data(), "pbtn_trace");
    QTest::mouseClick(trace, Qt::LeftButton);
    QCOMPARE(trace->text(), QStringLiteral("停止记录"));
    ComSide com(comPath(n));
    const QByteArray sent[] = {QByteArray("hello"), QByteArray::fromHex("0103000a")};
    for (const QByteArray &data : sent) {
        QVERIFY(com.write(data));
        QCOMPARE(com.read(data.size(), 5000), data);
    }
    auto *traffic = child<QLabel>(dlg.data(), "label_traffic");
    QTRY_VERIFY2_WITH_TIMEOUT(traffic->text().startsWith(QStringLiteral("发送 9 字节 ("))
                                  && traffic->text().contains(QStringLiteral("接收 9 字节 (")),
                              qPrintable(traffic->text()), 3000);
    QTest::mouseClick(trace, Qt::LeftButton);
    QCOMPARE(trace->text(), QStringLiteral("开始记录"));
    QVERIFY(com.write("late"));
    QCOMPARE(com.read(4, 5000), QByteArray("late"));

    // Each chunk a line: time, direction, count, hex, text; nothing after the stop.
    qint64 counted[2] = {0, 0};
    QByteArray hex[2];
    for (const QByteArray &line : TestFiles::readFile(dir.filePath("trace.txt")).split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> parts = line.split('|');
        QCOMPARE(parts.size(), 3);
        const QList<QByteArray> head = parts.at(0).trimmed().split(' ');
        QCOMPARE(head.size(), 4);   // date, time, direction, count
        const int way = head.at(2) == "TX" ? 0 : head.at(2) == "RX" ? 1 : -1;
        QVERIFY2(way >= 0, line.constData());
        counted[way] += head.at(3).toLongLong();
        hex[way] += QByteArray::fromHex(parts.at(1).trimmed());
    }
    QCOMPARE(counted[0], qint64(9));
    QCOMPARE(counted[1], qint64(9));
    QCOMPARE(hex[0], sent[0] + sent[1]);
    QCOMPARE(hex[1], sent[0] + sent[1]);

    QTest::mouseClick(child<QPushButton>(dlg.data(), "btn_closeNetUsbPenetrate"), Qt::LeftButton);
    ::close(com.fd);
    com.fd = -1;
    QVERIFY(deletePair(n));
}

QTEST_MAIN(TestPassthrough)
#include "tst_passthrough.moc"
