// The lab's panels behind the lab's relay, driven by a raw-socket desktop that
// builds its frames from the wire layout.
#include "labprocess.h"
#include "labrawclient.h"
#include "ptypair.h"
#include "relaylab.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include <memory>

namespace {
const QByteArray kGo = QByteArrayLiteral("start$_$");

enum Panel { Ok, Ok2, ShortModel, LongModel, NoReplies, ShortVersion, Plan, Disc, NoEnd, Delay, Split, Garbage,
             Serial, Reset, PanelCount };

QString imeiOf(Panel p)
{
    return QStringLiteral("8613000000%1").arg(int(p) + 1, 5, 10, QLatin1Char('0'));
}

quint32 sumOf(const QByteArray &b)
{
    quint32 s = 0;
    for (char c : b)
        s += quint8(c);
    return s;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

// Command frame: magic, code at 17, size LE at 21, sum LE at 25, "$_$" at 32; zeros elsewhere.
QByteArray command(quint8 code, quint32 size = 0, quint32 sum = 0)
{
    QByteArray f(32, '\0');
    f.replace(0, 17, "QuindarVelostemix");
    f[17] = char(code);
    f.replace(21, 4, le32(size));
    f.replace(25, 4, le32(sum));
    return f + "$_$";
}

QByteArray dataFrame(quint32 index, const QByteArray &chunk, quint32 sumDelta = 0)
{
    return le32(index) + le32(sumOf(chunk) + sumDelta) + chunk + "$_$";
}

QList<QByteArray> chunksOf(const QByteArray &data, int chunk)
{
    QList<QByteArray> out;
    for (int off = 0; off < data.size(); off += chunk)
        out << data.mid(off, chunk);
    return out;
}

QByteArray randomBytes(quint32 seed, int size)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (char &c : b)
        c = char(rng.bounded(256));
    return b;
}

// Random bytes with "$_$" at the start and the end of every chunk and in between.
QByteArray withDelimiters(quint32 seed, int size, int chunk)
{
    QByteArray b = randomBytes(seed, size);
    for (int off = 0; off + 3 <= size; off += chunk) {
        b.replace(off, 3, "$_$");
        if (off + chunk - 3 >= 0 && off + chunk <= size)
            b.replace(off + chunk - 3, 3, "$_$");
        if (off + chunk / 2 + 3 <= size)
            b.replace(off + chunk / 2, 3, "$_$");
    }
    return b;
}

enum class Writes { PerFrame, Split, AllAtOnce };
} // namespace

Q_DECLARE_METATYPE(Writes)

class TestLabPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void checkOption_data();
    void checkOption();
    void modelAndVersionReplies_data();
    void modelAndVersionReplies();
    void fileTransfer_data();
    void fileTransfer();
    void retriesAfterInjectedReplies();
    void repeatedIndexNotAppendedTwice();
    void badFrames_data();
    void badFrames();
    void endVerification_data();
    void endVerification();
    void completeHasNoAnswer();
    void disconnectAfterFrames_data();
    void disconnectAfterFrames();
    void noEndAck();
    void replyDelayDoesNotBlockOthers();
    void desktopLeavesMidFrame();
    void passthroughEcho_data();
    void passthroughEcho();
    void passthroughSplit();
    void passthroughSerialDevice();
    void garbageRefused_data();
    void garbageRefused();

private:
    std::unique_ptr<LabRawClient> session(Panel p, bool download = true);
    QList<QJsonObject> panelEvents(Panel p, const QString &event, int atLeast = 1, int ms = 3000);
    QString stored(Panel p, int code) const;
    void sendFile(LabRawClient &d, quint8 code, const QByteArray &data, int chunk, Writes writes);

    RelayLab m_lab;
    PtyPair m_serialLine;
    QString m_ptyTest;   // our end of the pty pair whose other end is the panel's serial side
};

void TestLabPanel::initTestCase()
{
    // A pty pair for the serial side of one panel, when socat is there.
    QString ptyPanel;
    if (!PtyPair::socat().isEmpty()) {
        m_ptyTest = m_lab.path(QStringLiteral("ptyA"));
        ptyPanel = m_lab.path(QStringLiteral("ptyB"));
        QVERIFY(m_serialLine.start(m_ptyTest, ptyPanel));
    }

    auto panel = [](Panel p, int model, int comm, int module, int version, const QJsonObject &faults) {
        return labPanel(imeiOf(p), model, comm, module, version, faults);
    };
    QJsonArray panels{
        panel(Ok, 70, 2, 2, 0x0102, {}),
        panel(Ok2, 60, 1, 2, 7, {}),
        panel(ShortModel, 70, 2, 2, 0x0102, {{"modelReply", "46"}}),
        panel(LongModel, 70, 2, 2, 0x0102, {{"modelReply", "4602020909"}}),
        panel(NoReplies, 70, 2, 2, 0x0102, {{"modelReply", ""}, {"versionReply", ""}}),
        panel(ShortVersion, 70, 2, 2, 0x0102, {{"versionReply", "000001"}}),
        panel(Plan, 70, 2, 2, 0x0102,
              {{"framePlan", QJsonArray{QJsonObject{{"index", 1}, {"replies", QJsonArray{"M", "M", "K"}}},
                                        QJsonObject{{"index", 2}, {"replies", "silence"}},
                                        QJsonObject{{"code", 10}, {"index", 0}, {"replies", QJsonArray{"M"}}}}}}),
        panel(Disc, 70, 2, 2, 0x0102, {{"disconnectAfterFrames", 2}}),
        panel(Reset, 70, 2, 2, 0x0102, {{"resetAfterFrames", 2}}),
        panel(NoEnd, 70, 2, 2, 0x0102, {{"noEndAck", true}}),
        panel(Delay, 70, 2, 2, 0x0102, {{"replyDelayMs", 300}}),
        panel(Split, 70, 2, 2, 0x0102, {{"passthroughSplit", true}}),
        panel(Garbage, 70, 2, 2, 0x0102, {}),
    };
    if (!ptyPanel.isEmpty()) {
        QJsonObject serial = panel(Serial, 70, 2, 2, 0x0102, {});
        serial.insert("serial", ptyPanel);
        panels.append(serial);
    }
    QVERIFY2(m_lab.start(panels), qPrintable(m_lab.failure()));
    const QJsonArray ready = m_lab.panelProcess().readyInfo().value("panels").toArray();
    QCOMPARE(ready.size(), panels.size());
    QCOMPARE(ready.first().toString(), imeiOf(Ok));
}

void TestLabPanel::cleanupTestCase()
{
    m_lab.stop();
    m_serialLine.stop();
}

std::unique_ptr<LabRawClient> TestLabPanel::session(Panel p, bool download)
{
    // A panel that just dropped its connection comes back within a few hundred ms.
    QDeadlineTimer deadline(4000);
    while (!deadline.hasExpired()) {
        auto d = std::make_unique<LabRawClient>();
        if (!d->connectTo(m_lab.relayPort()))
            return nullptr;
        d->send(imeiOf(p).toLatin1() + (download ? "1,1$_$" : ",1$_$"));
        const QByteArray answer = d->readBytes(8);
        if (answer == kGo)
            return d;
        d->close();
        QTest::qWait(100);
    }
    return nullptr;
}

QList<QJsonObject> TestLabPanel::panelEvents(Panel p, const QString &event, int atLeast, int ms)
{
    return waitForLinesWith(m_lab.panelEvents(), {{"imei", imeiOf(p)}, {"event", event}}, atLeast, ms);
}

QString TestLabPanel::stored(Panel p, int code) const
{
    return m_lab.stored(imeiOf(p), code);
}

void TestLabPanel::sendFile(LabRawClient &d, quint8 code, const QByteArray &data, int chunk, Writes writes)
{
    const QList<QByteArray> chunks = chunksOf(data, chunk);
    const QByteArray announce = command(code, quint32(data.size()), sumOf(data));
    if (writes == Writes::AllAtOnce) {
        QByteArray all = announce;
        for (int i = 0; i < chunks.size(); ++i)
            all += dataFrame(quint32(i), chunks[i]);
        all += command(0x35);
        d.send(all);
        QCOMPARE(d.readBytes(chunks.size() + 2), QByteArray(chunks.size() + 2, 'K'));
        return;
    }
    d.send(announce);
    QCOMPARE(d.readBytes(1), QByteArray("K"));
    QRandomGenerator rng(code);
    for (int i = 0; i < chunks.size(); ++i) {
        const QByteArray frame = dataFrame(quint32(i), chunks[i]);
        if (writes == Writes::Split) {
            // Up to four pieces; one cut right behind an inner "$_$" when there is one.
            QList<int> cuts;
            const int inner = frame.indexOf("$_$", 8);
            if (inner >= 0 && inner + 3 < frame.size())
                cuts << inner + 3;
            for (int k = 0; k < 2; ++k)
                cuts << int(rng.bounded(1, frame.size()));
            std::sort(cuts.begin(), cuts.end());
            int from = 0;
            for (int cut : cuts) {
                if (cut <= from)
                    continue;
                d.send(frame.mid(from, cut - from));
                QTest::qWait(3);
                from = cut;
            }
            d.send(frame.mid(from));
        } else {
            d.send(frame);
        }
        QCOMPARE(d.readBytes(1), QByteArray("K"));
    }
    d.send(command(0x35));
    QCOMPARE(d.readBytes(1), QByteArray("K"));
}

void TestLabPanel::checkOption_data()
{
    QTest::addColumn<QJsonObject>("config");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("panels") << QJsonObject{{"panels", QJsonArray{QJsonObject{{"imei", "1"}}}}} << 0;
    QTest::newRow("empty panels") << QJsonObject{{"panels", QJsonArray{}}} << 1;
    QTest::newRow("no panels") << QJsonObject{{"relay", QJsonObject{}}} << 1;
}

void TestLabPanel::checkOption()
{
    verifyCheckOption(QStringLiteral("lab-panel"), m_lab.dir());
}

void TestLabPanel::modelAndVersionReplies_data()
{
    QTest::addColumn<int>("panel");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("reply");   // empty: no answer at all
    QTest::newRow("model") << int(Ok) << 0x46 << QByteArray::fromHex("460202");
    QTest::newRow("version") << int(Ok) << 0x53 << QByteArray::fromHex("00000102");
    QTest::newRow("other model") << int(Ok2) << 0x46 << QByteArray::fromHex("3c0102");
    QTest::newRow("other version") << int(Ok2) << 0x53 << QByteArray::fromHex("00000007");
    QTest::newRow("short model") << int(ShortModel) << 0x46 << QByteArray::fromHex("46");
    QTest::newRow("long model") << int(LongModel) << 0x46 << QByteArray::fromHex("4602020909");
    QTest::newRow("no model reply") << int(NoReplies) << 0x46 << QByteArray();
    QTest::newRow("no version reply") << int(NoReplies) << 0x53 << QByteArray();
    QTest::newRow("short version") << int(ShortVersion) << 0x53 << QByteArray::fromHex("000001");
    QTest::newRow("version unaffected by model fault") << int(ShortModel) << 0x53 << QByteArray::fromHex("00000102");
}

void TestLabPanel::modelAndVersionReplies()
{
    QFETCH(int, panel);
    QFETCH(int, code);
    QFETCH(QByteArray, reply);
    auto d = session(Panel(panel));
    QVERIFY(d);
    d->send(command(quint8(code)));
    QCOMPARE(d->readBytes(qMax(1, reply.size()), reply.isEmpty() ? 300 : 3000), reply);
    QCOMPARE(d->readFor(30), QByteArray());
    const QString event = code == 0x46 ? QStringLiteral("model-query") : QStringLiteral("version-query");
    const QList<QJsonObject> lines = panelEvents(Panel(panel), event);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.last().value("reply").toString(), QString::fromLatin1(reply.toHex()));
}

void TestLabPanel::fileTransfer_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<Writes>("writes");
    QTest::newRow("firmware, default frame size") << 0x69 << withDelimiters(1, 20000, 8184) << 8184 << Writes::PerFrame;
    QTest::newRow("largest chunk, split writes") << 10 << withDelimiters(2, 20000, 8992) << 8992 << Writes::Split;
    QTest::newRow("small chunks, split writes") << 54 << withDelimiters(3, 3000, 100) << 100 << Writes::Split;
    QTest::newRow("everything in one write") << 11 << withDelimiters(4, 5000, 1016) << 1016 << Writes::AllAtOnce;
    QTest::newRow("exactly one chunk") << 12 << randomBytes(5, 1016) << 1016 << Writes::PerFrame;
    QTest::newRow("one-byte chunks in one write") << 13 << QByteArray("$_$a$_$$_$b") << 1 << Writes::AllAtOnce;
    QTest::newRow("delimiters only") << 14 << QByteArray("$_$").repeated(700) << 500 << Writes::Split;
    QTest::newRow("chunk ends in delimiter") << 31 << QByteArray("abcdefg$_$").repeated(30) << 10 << Writes::PerFrame;
    QTest::newRow("empty file") << 15 << QByteArray() << 100 << Writes::PerFrame;
}

void TestLabPanel::fileTransfer()
{
    QFETCH(int, code);
    QFETCH(QByteArray, data);
    QFETCH(int, chunk);
    QFETCH(Writes, writes);
    auto d = session(Ok);
    QVERIFY(d);
    sendFile(*d, quint8(code), data, chunk, writes);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(d->readFor(50), QByteArray());
    QCOMPARE(TestFiles::readFile(stored(Ok, code)), data);
    QVERIFY(QFile::exists(stored(Ok, code)));
    const QList<QJsonObject> ends = panelEvents(Ok, "end");
    QVERIFY(!ends.isEmpty());
    const QJsonObject end = ends.last();
    QCOMPARE(end.value("code").toInt(), code);
    QCOMPARE(end.value("ok").toBool(), true);
    QCOMPARE(end.value("size").toInt(), data.size());
    QCOMPARE(quint32(end.value("sum").toDouble()), sumOf(data));
    QCOMPARE(QFileInfo(end.value("path").toString()).canonicalFilePath(), QFileInfo(stored(Ok, code)).canonicalFilePath());
}

void TestLabPanel::retriesAfterInjectedReplies()
{
    // index 1: M, M, K; index 2: silence once; code 10 index 0: M once.
    auto d = session(Plan);
    QVERIFY(d);
    auto run = [&](quint8 code, const QByteArray &data, int chunk) {
        QList<QByteArray> answers;
        d->send(command(code, quint32(data.size()), sumOf(data)));
        answers << d->readBytes(1);
        const QList<QByteArray> chunks = chunksOf(data, chunk);
        for (int i = 0; i < chunks.size(); ++i) {
            QByteArray got;
            for (int attempt = 0; attempt < 5 && got != "K"; ++attempt) {
                d->send(dataFrame(quint32(i), chunks[i]));
                got = d->readBytes(1, 250);
                answers << (got.isEmpty() ? QByteArray("-") : got);
            }
        }
        d->send(command(0x35));
        answers << d->readBytes(1);
        return answers;
    };
    const QByteArray firmware = randomBytes(11, 4500);
    QCOMPARE(run(0x69, firmware, 1000),
             (QList<QByteArray>{"K", "K", "M", "M", "K", "-", "K", "K", "K", "K"}));
    QCOMPARE(TestFiles::readFile(stored(Plan, 0x69)), firmware);
    const QByteArray sys = randomBytes(12, 500);
    QCOMPARE(run(10, sys, 1000), (QList<QByteArray>{"K", "M", "K", "K"}));
    // The plan is used up: a second round goes through untouched.
    QCOMPARE(run(10, sys, 1000), (QList<QByteArray>{"K", "K", "K"}));
    QCOMPARE(TestFiles::readFile(stored(Plan, 10)), sys);

    const QList<QJsonObject> frames = panelEvents(Plan, "frame", 11);   // 1+3+2+1+1 firmware, 2+1 code 10
    int index1 = 0;
    for (const QJsonObject &f : frames)
        if (f.value("code").toInt() == 0x69 && f.value("index").toInt() == 1)
            ++index1;
    QCOMPARE(index1, 3);
    QCOMPARE(panelEvents(Plan, "fault", 5).size(), 5);
}

void TestLabPanel::repeatedIndexNotAppendedTwice()
{
    auto d = session(Ok);
    QVERIFY(d);
    const QByteArray data = randomBytes(21, 2500);
    const QList<QByteArray> chunks = chunksOf(data, 1000);
    d->send(command(20, quint32(data.size()), sumOf(data)));
    QCOMPARE(d->readBytes(1), QByteArray("K"));
    for (int i = 0; i < chunks.size(); ++i) {
        for (int copy = 0; copy < 2; ++copy) {   // every frame twice, as after a late 'K'
            d->send(dataFrame(quint32(i), chunks[i]));
            QCOMPARE(d->readBytes(1), QByteArray("K"));
        }
    }
    d->send(command(0x35));
    QCOMPARE(d->readBytes(1), QByteArray("K"));
    QCOMPARE(TestFiles::readFile(stored(Ok, 20)), data);
    const QList<QJsonObject> frames = panelEvents(Ok, "frame");
    QVERIFY(std::any_of(frames.begin(), frames.end(), [](const QJsonObject &f) {
        return f.value("code").toInt() == 20 && f.value("index").toInt() == 2 && f.value("repeat").toBool();
    }));
}

void TestLabPanel::badFrames_data()
{
    QTest::addColumn<int>("before");       // the bad frame goes in before this good frame index
    QTest::addColumn<int>("index");        // index written in the bad frame
    QTest::addColumn<int>("sumDelta");     // added to the chunk sum in its header
    QTest::newRow("first frame, wrong sum") << 0 << 0 << 1;
    QTest::newRow("later frame, wrong sum") << 1 << 1 << 1;
    QTest::newRow("later frame, index ahead") << 1 << 5 << 0;
    QTest::newRow("first frame, index ahead") << 0 << 1 << 0;
    QTest::newRow("last frame, wrong sum") << 2 << 2 << 255;
}

void TestLabPanel::badFrames()
{
    QFETCH(int, before);
    QFETCH(int, index);
    QFETCH(int, sumDelta);
    auto d = session(Ok);
    QVERIFY(d);
    const QByteArray data = withDelimiters(quint32(30 + before + index), 2500, 1000);
    const QList<QByteArray> chunks = chunksOf(data, 1000);
    d->send(command(21, quint32(data.size()), sumOf(data)));
    QCOMPARE(d->readBytes(1), QByteArray("K"));
    for (int i = 0; i < chunks.size(); ++i) {
        if (i == before) {
            d->send(dataFrame(quint32(index), chunks[i], quint32(sumDelta)));
            QCOMPARE(d->readBytes(1, 2000), QByteArray("M"));
        }
        d->send(dataFrame(quint32(i), chunks[i]));
        QCOMPARE(d->readBytes(1), QByteArray("K"));
    }
    d->send(command(0x35));
    QCOMPARE(d->readBytes(1), QByteArray("K"));
    QCOMPARE(TestFiles::readFile(stored(Ok, 21)), data);
}

void TestLabPanel::endVerification_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sizeDelta");
    QTest::addColumn<int>("sumDelta");
    QTest::newRow("announced sum wrong") << 16 << 0 << 7;
    QTest::newRow("fewer bytes than announced") << 17 << 10 << 0;
    QTest::newRow("end without announcement") << -1 << 0 << 0;
}

void TestLabPanel::endVerification()
{
    QFETCH(int, code);
    QFETCH(int, sizeDelta);
    QFETCH(int, sumDelta);
    auto d = session(Ok);
    QVERIFY(d);
    if (code >= 0) {
        const QByteArray data = randomBytes(40, 2000);
        d->send(command(quint8(code), quint32(data.size() + sizeDelta), sumOf(data) + quint32(sumDelta)));
        QCOMPARE(d->readBytes(1), QByteArray("K"));
        const QList<QByteArray> chunks = chunksOf(data, 1000);
        for (int i = 0; i < chunks.size(); ++i) {
            d->send(dataFrame(quint32(i), chunks[i]));
            QCOMPARE(d->readBytes(1), QByteArray("K"));
        }
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        d->send(command(0x35));
        QCOMPARE(d->readBytes(1), QByteArray("M"));
    }
    if (code >= 0)
        QVERIFY(!QFile::exists(stored(Ok, code)));
    const QList<QJsonObject> ends = panelEvents(Ok, "end");
    QVERIFY(!ends.isEmpty());
    QCOMPARE(ends.last().value("ok").toBool(), false);
    QCOMPARE(ends.last().value("path").toString(), QString());
}

void TestLabPanel::completeHasNoAnswer()
{
    auto d = session(Ok2);
    QVERIFY(d);
    d->send(command(27));
    QCOMPARE(d->readFor(300), QByteArray());
    QCOMPARE(panelEvents(Ok2, "complete").size(), 1);
    // The session goes on after it.
    d->send(command(0x46));
    QCOMPARE(d->readBytes(3), QByteArray::fromHex("3c0102"));
}

void TestLabPanel::disconnectAfterFrames_data()
{
    QTest::addColumn<int>("panel");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("ending");   // how the desktop's connection ends
    QTest::newRow("closed") << int(Disc) << "disconnectAfterFrames" << "closed";
    QTest::newRow("reset") << int(Reset) << "resetAfterFrames" << "reset";
}

void TestLabPanel::disconnectAfterFrames()
{
    QFETCH(int, panel);
    QFETCH(QString, fault);
    QFETCH(QString, ending);
    const Panel p = Panel(panel);
    const QByteArray data = randomBytes(50, 3000);
    const QList<QByteArray> chunks = chunksOf(data, 1000);
    {
        auto d = session(p);
        QVERIFY(d);
        d->send(command(0x69, quint32(data.size()), sumOf(data)));
        QCOMPARE(d->readBytes(1), QByteArray("K"));
        d->send(dataFrame(0, chunks[0]));
        QCOMPARE(d->readBytes(1), QByteArray("K"));
        d->send(dataFrame(1, chunks[1]));
        // Read from the socket itself: a reset shows as ECONNRESET, a close as end of data.
        const int fd = int(d->socket().socketDescriptor());
        pollfd ready{fd, POLLIN, 0};
        QCOMPARE(::poll(&ready, 1, 3000), 1);
        char c;
        const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        QCOMPARE(QString(n < 0 && errno == ECONNRESET ? "reset" : n == 0 ? "closed" : "data"), ending);
        QVERIFY(d->waitClosed());
        QCOMPARE(d->takeBuffered(), QByteArray());
    }
    const QList<QJsonObject> faults = panelEvents(p, "fault");
    QCOMPARE(faults.size(), 1);
    QCOMPARE(faults[0].value("fault").toString(), fault);
    QCOMPARE(faults[0].value("index").toInt(), 1);
    // The panel comes back on its own and answers again.
    auto again = session(p);
    QVERIFY(again);
    again->send(command(0x46));
    QCOMPARE(again->readBytes(3), QByteArray::fromHex("460202"));
    QVERIFY(panelEvents(p, "registered", 2).size() >= 2);
}

void TestLabPanel::noEndAck()
{
    auto d = session(NoEnd);
    QVERIFY(d);
    const QByteArray data = randomBytes(60, 700);
    d->send(command(0x69, quint32(data.size()), sumOf(data)));
    QCOMPARE(d->readBytes(1), QByteArray("K"));
    d->send(dataFrame(0, data));
    QCOMPARE(d->readBytes(1), QByteArray("K"));
    d->send(command(0x35));
    QCOMPARE(d->readFor(300), QByteArray());
    QCOMPARE(TestFiles::readFile(stored(NoEnd, 0x69)), data);
}

void TestLabPanel::replyDelayDoesNotBlockOthers()
{
    auto slow = session(Delay);
    auto fast = session(Ok2);
    QVERIFY(slow && fast);
    QElapsedTimer clock;
    clock.start();
    slow->send(command(0x46));
    fast->send(command(0x46));
    QCOMPARE(fast->readBytes(3), QByteArray::fromHex("3c0102"));
    const qint64 fastMs = clock.elapsed();
    QCOMPARE(slow->readBytes(3), QByteArray::fromHex("460202"));
    const qint64 slowMs = clock.elapsed();
    QVERIFY2(fastMs < 250, qPrintable(QString::number(fastMs)));
    QVERIFY2(slowMs >= 290, qPrintable(QString::number(slowMs)));
}

void TestLabPanel::desktopLeavesMidFrame()
{
    const QByteArray data = randomBytes(70, 3000);
    for (int round = 0; round < 2; ++round) {
        auto d = session(Ok2);
        QVERIFY(d);
        d->send(command(22, quint32(data.size()), sumOf(data)));
        QCOMPARE(d->readBytes(1), QByteArray("K"));
        const QByteArray frame = dataFrame(0, data.left(1000));
        d->send(frame.left(round == 0 ? 500 : 2));   // the desktop dies mid-frame
        d->close();
    }
    // The next desktop right behind finds a fresh session.
    auto d = session(Ok2);
    QVERIFY(d);
    sendFile(*d, 22, data, 1000, Writes::PerFrame);
    QCOMPARE(TestFiles::readFile(stored(Ok2, 22)), data);
}

void TestLabPanel::passthroughEcho_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QByteArray>("serialIn");   // what the serial side got
    QTest::addColumn<QByteArray>("echo");       // what the desktop gets back
    QTest::newRow("plain") << QList<QByteArray>{"ABC$_$"} << QByteArray("ABC") << QByteArray("ABC$_$");
    QTest::newRow("two messages in one write") << QList<QByteArray>{"AB$_$CD$_$"} << QByteArray("ABCD")
                                               << QByteArray("ABCD$_$");
    QTest::newRow("messages across writes") << QList<QByteArray>{"AB$_$C", "D$_$$_$EF$", "_$"}
                                            << QByteArray("EF") << QByteArray("AB$_$CD$_$EF$_$");
    QTest::newRow("in two pieces") << QList<QByteArray>{"AB", "C$_$"} << QByteArray("ABC") << QByteArray("ABC$_$");
    QTest::newRow("modbus request") << QList<QByteArray>{QByteArray::fromHex("01030000000a") + "$_$"}
                                    << QByteArray::fromHex("01030000000a")
                                    << QByteArray(QByteArray::fromHex("01030000000a") + "$_$");
}

void TestLabPanel::passthroughEcho()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QByteArray, serialIn);
    QFETCH(QByteArray, echo);
    auto d = session(Ok, false);
    QVERIFY(d);
    for (const QByteArray &w : writes) {
        d->send(w);
        QTest::qWait(40);
    }
    QCOMPARE(d->readBytes(echo.size()), echo);
    QCOMPARE(d->readFor(100), QByteArray());
    const QList<QJsonObject> in = panelEvents(Ok, "passthrough-in");
    QVERIFY(!in.isEmpty());
    QCOMPARE(in.last().value("hex").toString(), QString::fromLatin1(serialIn.toHex()));
    QCOMPARE(in.last().value("len").toInt(), serialIn.size());
}

void TestLabPanel::passthroughSplit()
{
    auto d = session(Split, false);
    QVERIFY(d);
    d->send("HELLO$_$");
    const QByteArray first = d->readOnce();
    QVERIFY2(!first.isEmpty() && first.size() < 8, first.constData());
    QCOMPARE(first + d->readBytes(8 - first.size()), QByteArray("HELLO$_$"));
}

void TestLabPanel::passthroughSerialDevice()
{
    if (m_ptyTest.isEmpty())
        QSKIP("socat is not installed");
    const int fd = ::open(QFile::encodeName(m_ptyTest).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    struct termios tio;
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    auto readPty = [fd](int n) {
        QByteArray got;
        QDeadlineTimer deadline(3000);
        char buf[256];
        while (got.size() < n && !deadline.hasExpired()) {
            const ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0)
                got.append(buf, int(r));
            else
                QTest::qWait(5);
        }
        return got;
    };
    auto d = session(Serial, false);
    QVERIFY(d);
    const QByteArray request = QByteArray::fromHex("010300000002c40b");
    d->send(request + "$_$");
    QCOMPARE(readPty(request.size()), request);
    // A slave answers in two bursts 1 ms apart: the panel sends them as one read.
    const QByteArray reply = QByteArray::fromHex("0103040001000223f2");
    QCOMPARE(::write(fd, reply.constData(), 4), ssize_t(4));
    QThread::msleep(1);
    QCOMPARE(::write(fd, reply.constData() + 4, size_t(reply.size() - 4)), ssize_t(reply.size() - 4));
    QCOMPARE(d->readBytes(reply.size() + 3), QByteArray(reply + "$_$"));
    ::close(fd);
}

void TestLabPanel::garbageRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray noTrailer = command(0x46);
    noTrailer.replace(32, 3, "xyz");
    QTest::newRow("text") << QByteArray("hello, this is not a frame");
    QTest::newRow("oversized announcement") << command(0x69, 256u * 1024u * 1024u + 1u, 0);
    QTest::newRow("command without trailer") << noTrailer;
    QTest::newRow("data frame without a file") << dataFrame(0, "abc");
}

void TestLabPanel::garbageRefused()
{
    QFETCH(QByteArray, bytes);
    {
        auto d = session(Garbage);
        QVERIFY(d);
        d->send(bytes);
        QVERIFY(d->waitClosed());
    }
    QVERIFY(m_lab.panelProcess().isRunning());
    auto d = session(Garbage);
    QVERIFY(d);
    d->send(command(0x53));
    QCOMPARE(d->readBytes(4), QByteArray::fromHex("00000102"));
}

QTEST_GUILESS_MAIN(TestLabPanel)
#include "tst_labpanel.moc"
