// The lab's relay server, driven by raw sockets playing panels and desktops.
#include "labprocess.h"
#include "labrawclient.h"
#include "testfiles.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QByteArray kGo = QByteArrayLiteral("start$_$");

// Fresh IMEIs per test so that sessions of earlier tests never meet later ones.
QString nextImei()
{
    static int n = 0;
    return QStringLiteral("8612000000%1").arg(++n, 5, 10, QLatin1Char('0'));
}
} // namespace

class TestLabRelay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void checkOption_data();
    void checkOption();
    void pairing_data();
    void pairing();
    void registrationInPieces();
    void busyPanel();
    void goAheadVariants_data();
    void goAheadVariants();
    void relayWideGoAhead();
    void severalSessionsNotMixed();
    void desktopLeaves();
    void panelLeaves_data();
    void panelLeaves();
    void garbageRefused_data();
    void garbageRefused();
    void eventLines();
    void desktopDroppedWhileBridging_data();
    void desktopDroppedWhileBridging();
    void panelBytesCoalesced();
    void sideNotReadingHoldsTheOtherBack();

private:
    std::unique_ptr<LabRawClient> panel(const QString &imei);
    std::unique_ptr<LabRawClient> desktop(const QByteArray &registration);
    // A panel and a desktop joined by the relay, the go-ahead and the session message
    // read; desktop is null when that failed.
    struct Session
    {
        std::unique_ptr<LabRawClient> panel;
        std::unique_ptr<LabRawClient> desktop;
    };
    Session session(const QString &imei, const QByteArray &form);
    QList<QJsonObject> events(const QString &imei, const QString &event, int atLeast);

    QTemporaryDir m_dir;
    QString m_config;
    QString m_events;
    LabProcess m_relay{QStringLiteral("lab-relay")};
    quint16 m_port = 0;
    QHash<QString, QString> m_faultImei;   // go-ahead variant / "refuse" -> IMEI
};

void TestLabRelay::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QJsonArray panels;
    for (const QString &fault : {QStringLiteral("split"), QStringLiteral("extra"), QStringLiteral("case"),
                                 QStringLiteral("zeroTail"), QStringLiteral("none"), QStringLiteral("normal")}) {
        const QString imei = nextImei();
        m_faultImei.insert(fault, imei);
        panels.append(QJsonObject{{"imei", imei}, {"faults", QJsonObject{{"goAhead", fault}}}});
    }
    const QString refused = nextImei();
    m_faultImei.insert(QStringLiteral("refuse"), refused);
    panels.append(QJsonObject{{"imei", refused}, {"faults", QJsonObject{{"refuse", true}}}});
    for (const QJsonObject &fault : {QJsonObject{{"closeAfterBytes", 20}}, QJsonObject{{"resetAfterBytes", 20}},
                                     QJsonObject{{"coalesceMs", 300}}}) {
        const QString imei = nextImei();
        m_faultImei.insert(fault.keys().first(), imei);
        panels.append(QJsonObject{{"imei", imei}, {"faults", fault}});
    }
    m_config = m_dir.filePath(QStringLiteral("lab.json"));
    m_events = m_dir.filePath(QStringLiteral("relay.jsonl"));
    QVERIFY(TestFiles::writeJson(m_config, QJsonObject{{"relay", QJsonObject{{"port", 10745}}}, {"panels", panels}}));
    QVERIFY2(m_relay.start({"--config", m_config, "--port", "0", "--events", m_events}), qPrintable(m_relay.diagnostics()));
    m_port = m_relay.port();
    QVERIFY(m_port > 0);
    QCOMPARE(m_relay.readyInfo().value("service").toString(), QStringLiteral("relay"));
}

void TestLabRelay::cleanupTestCase()
{
    m_relay.stop();
}

std::unique_ptr<LabRawClient> TestLabRelay::panel(const QString &imei)
{
    auto c = std::make_unique<LabRawClient>();
    if (!c->connectTo(m_port))
        return nullptr;
    c->send("panel," + imei.toLatin1() + "$_$");
    if (c->readBytes(5) != "ok$_$")
        return nullptr;
    return c;
}

TestLabRelay::Session TestLabRelay::session(const QString &imei, const QByteArray &form)
{
    Session s{panel(imei), nullptr};
    if (!s.panel)
        return s;
    s.desktop = desktop(imei.toLatin1() + form);
    const QByteArray message = form == ",1$_$" ? "session,passthrough$_$" : "session,download$_$";
    if (s.desktop->readBytes(8) != kGo || s.panel->readBytes(message.size()) != message)
        s.desktop.reset();
    return s;
}

std::unique_ptr<LabRawClient> TestLabRelay::desktop(const QByteArray &registration)
{
    auto c = std::make_unique<LabRawClient>();
    if (!c->connectTo(m_port))
        return nullptr;
    c->send(registration);
    return c;
}

QList<QJsonObject> TestLabRelay::events(const QString &imei, const QString &event, int atLeast)
{
    return waitForLinesWith(m_events, {{"imei", imei}, {"event", event}}, atLeast);
}

void TestLabRelay::checkOption_data()
{
    QTest::addColumn<QJsonObject>("config");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("relay section") << QJsonObject{{"relay", QJsonObject{{"port", 1}}}} << 0;
    QTest::newRow("no relay section") << QJsonObject{{"panels", QJsonArray{QJsonObject{{"imei", "1"}}}}} << 1;
}

void TestLabRelay::checkOption()
{
    verifyCheckOption(QStringLiteral("lab-relay"), m_dir.path());
}

void TestLabRelay::pairing_data()
{
    QTest::addColumn<QStringList>("online");          // IMEIs of panels that register
    QTest::addColumn<QByteArray>("registration");     // what the desktop sends
    QTest::addColumn<QByteArray>("answer");           // what the desktop gets
    QTest::addColumn<int>("sessionPanel");            // index into online of the panel paired, -1 none
    QTest::addColumn<QByteArray>("sessionMessage");

    QString a = nextImei();
    QTest::newRow("download form") << QStringList{a} << QByteArray(a.toLatin1() + "1,1$_$") << kGo << 0
                                   << QByteArray("session,download$_$");
    a = nextImei();
    QTest::newRow("pass-through form") << QStringList{a} << QByteArray(a.toLatin1() + ",1$_$") << kGo << 0
                                       << QByteArray("session,passthrough$_$");
    a = nextImei();
    QTest::newRow("pass-through matched first") << QStringList{a, a + "1"} << QByteArray(a.toLatin1() + "1,1$_$")
                                                << kGo << 1 << QByteArray("session,passthrough$_$");
    a = nextImei();
    QTest::newRow("unknown imei") << QStringList{a} << QByteArray(nextImei().toLatin1() + "1,1$_$")
                                  << QByteArray("offline$_$") << -1 << QByteArray();
    a = nextImei();
    QTest::newRow("other digit before comma") << QStringList{a} << QByteArray(a.toLatin1() + "2,1$_$")
                                              << QByteArray("offline$_$") << -1 << QByteArray();
    QTest::newRow("refused by config") << QStringList{m_faultImei.value("refuse")}
                                       << QByteArray(m_faultImei.value("refuse").toLatin1() + "1,1$_$")
                                       << QByteArray("offline$_$") << -1 << QByteArray();
}

void TestLabRelay::pairing()
{
    QFETCH(QStringList, online);
    QFETCH(QByteArray, registration);
    QFETCH(QByteArray, answer);
    QFETCH(int, sessionPanel);
    QFETCH(QByteArray, sessionMessage);

    std::vector<std::unique_ptr<LabRawClient>> panels;
    for (const QString &imei : online) {
        panels.push_back(panel(imei));
        QVERIFY2(panels.back(), qPrintable(imei));
    }
    auto d = desktop(registration);
    QVERIFY(d);
    QCOMPARE(d->readBytes(answer.size()), answer);
    if (sessionPanel < 0) {
        QVERIFY(d->waitClosed());
        for (auto &p : panels)
            QCOMPARE(p->readFor(100), QByteArray());
        return;
    }
    QCOMPARE(d->readFor(100), QByteArray());   // exactly the go-ahead, nothing behind it
    for (int i = 0; i < int(panels.size()); ++i)
        QCOMPARE(panels[i]->readBytes(i == sessionPanel ? sessionMessage.size() : 1, i == sessionPanel ? 3000 : 100),
                 i == sessionPanel ? sessionMessage : QByteArray());
    LabRawClient &p = *panels[sessionPanel];
    d->send("ping$_$");
    QCOMPARE(p.readBytes(7), QByteArray("ping$_$"));
    p.send(QByteArray("\x00pong", 5));
    QCOMPARE(d->readBytes(5), QByteArray("\x00pong", 5));
}

void TestLabRelay::registrationInPieces()
{
    const QString imei = nextImei();
    auto p = panel(imei);
    QVERIFY(p);
    auto d = desktop(imei.left(4).toLatin1());
    QVERIFY(d);
    QTest::qWait(30);
    d->send(imei.mid(4).toLatin1() + "1,");
    QTest::qWait(30);
    d->send("1$_$");
    QCOMPARE(d->readBytes(8), kGo);
    QCOMPARE(p->readBytes(19), QByteArray("session,download$_$"));
}

void TestLabRelay::busyPanel()
{
    const QString imei = nextImei();
    auto p = panel(imei);
    QVERIFY(p);
    auto first = desktop(imei.toLatin1() + "1,1$_$");
    QCOMPARE(first->readBytes(8), kGo);
    QCOMPARE(p->readBytes(19), QByteArray("session,download$_$"));
    auto second = desktop(imei.toLatin1() + ",1$_$");
    QCOMPARE(second->readBytes(7), QByteArray("busy$_$"));
    QVERIFY(second->waitClosed());
    // The first session is untouched.
    first->send("abc");
    QCOMPARE(p->readBytes(3), QByteArray("abc"));
    QCOMPARE(p->readFor(50), QByteArray());
}

void TestLabRelay::goAheadVariants_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QByteArray>("firstRead");
    QTest::addColumn<QByteArray>("whole");
    QTest::newRow("normal") << "normal" << kGo << kGo;
    QTest::newRow("split") << "split" << QByteArray("sta") << kGo;
    QTest::newRow("extra") << "extra" << QByteArray("start$_$xyz") << QByteArray("start$_$xyz");
    QTest::newRow("case") << "case" << QByteArray("START$_$") << QByteArray("START$_$");
    QTest::newRow("zeroTail") << "zeroTail" << QByteArray("start$_$\0junk", 13) << QByteArray("start$_$\0junk", 13);
    QTest::newRow("none") << "none" << QByteArray() << QByteArray();
}

void TestLabRelay::goAheadVariants()
{
    QFETCH(QString, variant);
    QFETCH(QByteArray, firstRead);
    QFETCH(QByteArray, whole);
    const QString imei = m_faultImei.value(variant);
    auto p = panel(imei);
    QVERIFY(p);
    auto d = desktop(imei.toLatin1() + ",1$_$");
    QVERIFY(d);
    const QByteArray first = d->readOnce(firstRead.isEmpty() ? 300 : 3000);
    QCOMPARE(first, firstRead);
    QCOMPARE(first + d->readFor(200), whole);
    // Whatever the go-ahead looked like, the panel was told and bytes flow.
    QCOMPARE(p->readBytes(22), QByteArray("session,passthrough$_$"));
    d->send("x$_$");
    QCOMPARE(p->readBytes(4), QByteArray("x$_$"));
    d->close();
    QCOMPARE(p->readBytes(6), QByteArray("end$_$"));
}

void TestLabRelay::relayWideGoAhead()
{
    const QString path = m_dir.filePath(QStringLiteral("wide.json"));
    const QString own = nextImei();
    const QString normal = nextImei();
    const QJsonObject config{
        {"relay", QJsonObject{{"faults", QJsonObject{{"goAhead", "case"}}}}},
        {"panels", QJsonArray{QJsonObject{{"imei", normal}, {"faults", QJsonObject{{"goAhead", "normal"}}}}}}};
    QVERIFY(TestFiles::writeJson(path, config));
    LabProcess relay(QStringLiteral("lab-relay"));
    QVERIFY2(relay.start({"--config", path, "--port", "0", "--events", m_dir.filePath("wide.jsonl")}),
             qPrintable(relay.diagnostics()));
    const QHash<QString, QByteArray> expected{{own, "START$_$"}, {normal, kGo}};
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        LabRawClient p;
        QVERIFY(p.connectTo(relay.port()));
        p.send("panel," + it.key().toLatin1() + "$_$");
        QCOMPARE(p.readBytes(5), QByteArray("ok$_$"));
        LabRawClient d;
        QVERIFY(d.connectTo(relay.port()));
        d.send(it.key().toLatin1() + "1,1$_$");
        QCOMPARE(d.readBytes(8), it.value());
    }
}

void TestLabRelay::severalSessionsNotMixed()
{
    constexpr int kPairs = 4;
    std::vector<std::unique_ptr<LabRawClient>> panels, desktops;
    QVector<QByteArray> toPanel(kPairs), toDesktop(kPairs);
    for (int i = 0; i < kPairs; ++i) {
        const QString imei = nextImei();
        panels.push_back(panel(imei));
        QVERIFY(panels.back());
        desktops.push_back(desktop(imei.toLatin1() + (i % 2 ? ",1$_$" : "1,1$_$")));
        QCOMPARE(desktops.back()->readBytes(8), kGo);
        const QByteArray msg = i % 2 ? "session,passthrough$_$" : "session,download$_$";
        QCOMPARE(panels.back()->readBytes(msg.size()), msg);
    }
    QRandomGenerator rng(7);
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < kPairs; ++i) {
            QByteArray a(int(rng.bounded(1, 3000)), Qt::Uninitialized);
            for (char &c : a)
                c = char(rng.bounded(256));
            a.insert(int(rng.bounded(a.size())), "$_$");
            QByteArray b = QByteArray::number(i) + "<" + QByteArray::number(round) + ">$_$";
            desktops[i]->send(a);
            panels[i]->send(b);
            toPanel[i] += a;
            toDesktop[i] += b;
        }
    }
    for (int i = 0; i < kPairs; ++i) {
        QCOMPARE(panels[i]->readBytes(toPanel[i].size()), toPanel[i]);
        QCOMPARE(desktops[i]->readBytes(toDesktop[i].size()), toDesktop[i]);
    }
    for (int i = 0; i < kPairs; ++i) {
        QCOMPARE(panels[i]->readFor(20), QByteArray());
        QCOMPARE(desktops[i]->readFor(20), QByteArray());
    }
}

void TestLabRelay::desktopLeaves()
{
    const QString imei = nextImei();
    auto p = panel(imei);
    QVERIFY(p);
    for (int round = 0; round < 2; ++round) {
        auto d = desktop(imei.toLatin1() + "1,1$_$");
        QCOMPARE(d->readBytes(8), kGo);
        QCOMPARE(p->readBytes(19), QByteArray("session,download$_$"));
        d->send("data");
        QCOMPARE(p->readBytes(4), QByteArray("data"));
        d->close();
        // The panel hears the end and is free for the next desktop.
        QCOMPARE(p->readBytes(6), QByteArray("end$_$"));
        QVERIFY(p->isConnected());
    }
}

void TestLabRelay::panelLeaves_data()
{
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<bool>("desktopKept");
    QTest::addColumn<QByteArray>("lastWords");
    QTest::newRow("pass-through") << QByteArray(",1$_$") << true << QByteArray("disconnected,2$_$");
    QTest::newRow("download") << QByteArray("1,1$_$") << false << QByteArray();
}

void TestLabRelay::panelLeaves()
{
    QFETCH(QByteArray, form);
    QFETCH(bool, desktopKept);
    QFETCH(QByteArray, lastWords);
    const QString imei = nextImei();
    auto p = panel(imei);
    QVERIFY(p);
    auto d = desktop(imei.toLatin1() + form);
    QCOMPARE(d->readBytes(8), kGo);
    p->send("bye$_$");
    QCOMPARE(d->readBytes(6), QByteArray("bye$_$"));
    p->close();
    if (desktopKept) {
        QCOMPARE(d->readBytes(lastWords.size()), lastWords);
        QVERIFY(!d->waitClosed(300));
        d->send("after$_$");   // dropped by the relay, connection stays
        QVERIFY(!d->waitClosed(100));
    } else {
        QVERIFY(d->waitClosed());
        QCOMPARE(d->takeBuffered(), QByteArray());
    }
    // The panel is offline now.
    auto late = desktop(imei.toLatin1() + form);
    QCOMPARE(late->readBytes(10), QByteArray("offline$_$"));
    QVERIFY(late->waitClosed());
}

void TestLabRelay::garbageRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray frame(32, '\0');
    frame.replace(0, 17, "QuindarVelostemix");
    frame[17] = 'F';
    QTest::newRow("300 bytes without delimiter") << QByteArray(300, 'x');
    QTest::newRow("command frame first") << QByteArray(frame + "$_$");
    QTest::newRow("empty imei") << QByteArray(",1$_$");
    QTest::newRow("panel without imei") << QByteArray("panel,$_$");
    QTest::newRow("control bytes in imei") << QByteArray("86\x01\x02,1$_$");
    QTest::newRow("just the delimiter") << QByteArray("$_$");
    QTest::newRow("long registration") << QByteArray(QByteArray(300, '1') + ",1$_$");
}

void TestLabRelay::garbageRefused()
{
    QFETCH(QByteArray, bytes);
    LabRawClient c;
    QVERIFY(c.connectTo(m_port));
    c.send(bytes);
    QVERIFY(c.waitClosed());
    QCOMPARE(c.takeBuffered(), QByteArray());
    QVERIFY(m_relay.isRunning());
    // Still serving.
    const QString imei = nextImei();
    auto p = panel(imei);
    QVERIFY(p);
    auto d = desktop(imei.toLatin1() + ",1$_$");
    QCOMPARE(d->readBytes(8), kGo);
}

void TestLabRelay::eventLines()
{
    const QString imei = nextImei();
    auto p = panel(imei);
    QVERIFY(p);
    auto d = desktop(imei.toLatin1() + "1,1$_$");
    QCOMPARE(d->readBytes(8), kGo);
    QCOMPARE(p->readBytes(19), QByteArray("session,download$_$"));
    d->send(QByteArray(1000, 'a'));
    QCOMPARE(p->readBytes(1000).size(), 1000);
    p->send("K");
    QCOMPARE(d->readBytes(1), QByteArray("K"));
    d->close();
    QCOMPARE(p->readBytes(6), QByteArray("end$_$"));
    p->close();

    QCOMPARE(events(imei, "panel-registered", 1).size(), 1);
    const QList<QJsonObject> reg = events(imei, "desktop-registered", 1);
    QCOMPARE(reg.size(), 1);
    QCOMPARE(reg[0].value("form").toString(), QStringLiteral("download"));
    QCOMPARE(reg[0].value("registration").toString(), imei + "1,1$_$");
    const QList<QJsonObject> go = events(imei, "go-ahead", 1);
    QCOMPARE(go.size(), 1);
    QCOMPARE(go[0].value("variant").toString(), QStringLiteral("normal"));
    QCOMPARE(events(imei, "session-start", 1).size(), 1);
    const QList<QJsonObject> end = events(imei, "session-end", 1);
    QCOMPARE(end.size(), 1);
    QCOMPARE(end[0].value("reason").toString(), QStringLiteral("desktop-left"));
    QCOMPARE(end[0].value("toPanel").toInt(), 1000);
    QCOMPARE(end[0].value("toDesktop").toInt(), 1);
    const QList<QJsonObject> left = events(imei, "panel-left", 1);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].value("inSession").toBool(), false);
    // Every line carries the common keys.
    for (const QJsonObject &o : readEventLines(m_events)) {
        QVERIFY(o.contains("t") && o.contains("imei") && o.contains("event"));
    }
    const auto refusals = readEventLines(m_events);
    QVERIFY(std::any_of(refusals.begin(), refusals.end(), [](const QJsonObject &o) {
        return o.value("event").toString() == "refused" && o.value("answer").toString() == "busy$_$";
    }));
}

void TestLabRelay::desktopDroppedWhileBridging_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("closed") << "closeAfterBytes";
    QTest::newRow("reset") << "resetAfterBytes";
}

void TestLabRelay::desktopDroppedWhileBridging()
{
    QFETCH(QString, fault);
    const QString imei = m_faultImei.value(fault);
    Session s = session(imei, ",1$_$");
    QVERIFY(s.desktop);
    LabRawClient *p = s.panel.get();
    LabRawClient *d = s.desktop.get();
    // The first 20 bytes pass; the desktop goes in the middle of its message, which the
    // panel then sees ended before the end note.
    d->send("0123456789abcdefghij0123456789$_$");
    QVERIFY(d->waitClosed());
    QCOMPARE(p->readBytes(29), QByteArray("0123456789abcdefghij$_$end$_$"));
    QCOMPARE(p->readFor(100), QByteArray());
    const QList<QJsonObject> faults = events(imei, "fault", 1);
    QCOMPARE(faults.size(), 1);
    QCOMPARE(faults.first().value("fault").toString(), fault);
    // The panel is free for the next desktop.
    auto again = desktop(imei.toLatin1() + ",1$_$");
    QCOMPARE(again->readBytes(8), kGo);
}

void TestLabRelay::panelBytesCoalesced()
{
    const QString imei = m_faultImei.value(QStringLiteral("coalesceMs"));
    Session s = session(imei, ",1$_$");
    QVERIFY(s.desktop);
    LabRawClient *p = s.panel.get();
    LabRawClient *d = s.desktop.get();
    p->send("A$_$");
    QTest::qWait(30);
    p->send("BC$_$");
    p->close();
    // Both messages and the note that the panel has gone, in one write after 300 ms.
    QCOMPARE(d->readOnce(), QByteArray("A$_$BC$_$disconnected,2$_$"));
    QCOMPARE(events(imei, "fault", 1).first().value("panelGone").toBool(), true);
}

void TestLabRelay::sideNotReadingHoldsTheOtherBack()
{
    // A panel that reads nothing: the relay stops reading the desktop instead of
    // holding what it sends, and hands all of it over once the panel reads again.
    const qint64 total = 48 << 20;
    Session s = session(nextImei(), "1,1$_$");
    QVERIFY(s.desktop);
    LabRawClient *p = s.panel.get();
    LabRawClient *d = s.desktop.get();
    const qint64 before = residentKiB(m_relay.processId());
    QByteArray data(int(total), Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i % 251);
    d->socket().write(data);
    // Until the desktop's bytes stop moving.
    qint64 left = d->socket().bytesToWrite();
    for (QDeadlineTimer quiet(500); !quiet.hasExpired();) {
        d->socket().waitForBytesWritten(50);
        if (d->socket().bytesToWrite() != left) {
            left = d->socket().bytesToWrite();
            quiet.setRemainingTime(500);
        }
    }
    const qint64 grown = residentKiB(m_relay.processId()) - before;
    qInfo() << "desktop bytes still unsent:" << left << "relay grown by KiB:" << grown;
    QVERIFY2(left > 0, "the relay took everything");
    QVERIFY2(grown < 8 * 1024 || !residentSizeTellsUse(), qPrintable(QString::number(grown)));
    QByteArray got;
    for (QDeadlineTimer deadline(20000); got.size() < data.size() && !deadline.hasExpired();) {
        d->socket().waitForBytesWritten(1);
        got += p->readFor(5);
    }
    QCOMPARE(got.size(), data.size());
    QVERIFY(got == data);
}

QTEST_GUILESS_MAIN(TestLabRelay)
#include "tst_labrelay.moc"
