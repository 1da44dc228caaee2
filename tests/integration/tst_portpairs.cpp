// Virtual port pairs against real pairs: libvspdctl.so starts socat in a private pair
// directory (VSPD_DIR); stand-in libraries cover the driver's failures.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QProcess>
#include <QSerialPort>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "portplatform.h"
#include "testfiles.h"
#include "virtualportpairs.h"

namespace {

using CreatePairFunction = bool (*)(const char *, const char *);
using DeletePairFunction = bool (*)(const char *);

const QString kForeign = QStringLiteral("%1不是该软件创建的串口");
const QString kMissing = QStringLiteral("%1串口不存在");
const QString kInUse = QStringLiteral("%1端口被占用，请先关闭串口或者该串口不是该软件所创建");
const QString kOpened = QStringLiteral("%1打开成功");
const QString kExists = QStringLiteral("%1已存在");

QString com(int n)
{
    return QStringLiteral("COM%1").arg(n);
}

// Running and not a zombie.
bool processRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line.at(close + 2) != 'Z'
           && line.at(close + 2) != 'X';
}

bool waitUntilStopped(qint64 pid, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (processRunning(pid) && !deadline.hasExpired())
        QThread::msleep(10);
    return !processRunning(pid);
}

// Reads until `size` bytes have arrived or the time is up.
QByteArray readBytes(QSerialPort &port, int size, int timeoutMs = 3000)
{
    QByteArray data;
    QDeadlineTimer deadline(timeoutMs);
    while (data.size() < size && !deadline.hasExpired()) {
        port.waitForReadyRead(50);
        data += port.readAll();
    }
    return data;
}

void setLineDefaults(QSerialPort &port)
{
    // What the pass-through dialog always hands over: 9600 baud, 8 bits, even, 1 stop.
    port.setBaudRate(9600, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::EvenParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

} // namespace

class TestPortPairs : public QObject
{
    Q_OBJECT

public:
    TestPortPairs()
        : m_pairs([this](const QString &text) { m_messages << text; })
    {
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void names_data();
    void names();
    void pairDirectory_data();
    void pairDirectory();
    void libraryAndListAgreeOnDirectory_data();
    void libraryAndListAgreeOnDirectory();
    void driverLibraryLookup();

    void listing();
    void unreadableList();
    void ownershipTests_data();
    void ownershipTests();
    void foreignPortNeverTouched();

    void createOpenAndCarry();
    void pairSurvivesReopening();
    void existingPairReused();
    void staleBytesCleared();
    void createFailures_data();
    void createFailures();
    void pairAppearance_data();
    void pairAppearance();
    void killedSocatCleanedUp();
    void endedPairWithReusedPty();
    void deviceLossClosesOnce_data();
    void deviceLossClosesOnce();

    void deleteRefusedWhileOpen_data();
    void deleteRefusedWhileOpen();
    void otherPairsDoNotHoldThisOne();
    void deleteLibraryOutcomes_data();
    void deleteLibraryOutcomes();
    void libraryRefuses_data();
    void libraryRefuses();

private:
    QString pairDir() const { return m_pairDir.path(); }
    bool realCreate(int n);
    bool realDelete(int n);
    qint64 socatPid(int n) const;
    QStringList fakeLog() const;
    void useFake(const QByteArray &create, const QByteArray &remove = QByteArray());

    QTemporaryDir m_pairDir;
    QTemporaryDir m_work;
    QStringList m_messages;
    VirtualPortPairs m_pairs;
    QLibrary m_real;
    QString m_fakeLog;
    QString m_garbageDriver;
    int m_foreignMaster = -1;              // the pty behind the hardware-like COM3
    const int kForeignNumber = 3;
    const int kStandingNumber = 21;        // an own pair that lives through the whole run
};

void TestPortPairs::initTestCase()
{
    QVERIFY(m_pairDir.isValid());
    QVERIFY(m_work.isValid());
    qputenv("VSPD_DIR", QFile::encodeName(pairDir()));

    m_real.setFileName(QStringLiteral(VSPD_REAL_DRIVER));
    QVERIFY2(m_real.load(), qPrintable(m_real.errorString()));

    m_fakeLog = m_work.filePath(QStringLiteral("fake.log"));
    qputenv("VSPD_FAKE_LOG", QFile::encodeName(m_fakeLog));
    qputenv("VSPD_FAKE_REAL", VSPD_REAL_DRIVER);

    m_garbageDriver = m_work.filePath(QStringLiteral("libbroken.so"));
    QVERIFY(TestFiles::writeFile(m_garbageDriver, "this is no shared object\n"));

    // A port of other hardware: COM3 leads to a live pty, and there is no PENT3.
    m_foreignMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(m_foreignMaster >= 0);
    QVERIFY(::grantpt(m_foreignMaster) == 0 && ::unlockpt(m_foreignMaster) == 0);
    const QByteArray slave = ::ptsname(m_foreignMaster);
    QVERIFY(QFile::link(QFile::decodeName(slave), pairDir() + QStringLiteral("/COM3")));

    QVERIFY(realCreate(kStandingNumber));
}

void TestPortPairs::init()
{
    m_messages.clear();
    QFile::remove(m_fakeLog);
    qputenv("VSPD_FAKE_CREATE", "ok");
    qputenv("VSPD_FAKE_DELETE", "ok");
}

void TestPortPairs::cleanup()
{
    // Stop every pair a test made, whatever state it was left in.
    const QStringList pidFiles = QDir(pairDir()).entryList({QStringLiteral("COM*.pid")}, QDir::Files);
    for (const QString &pidFile : pidFiles) {
        const int n = pidFile.mid(3, pidFile.size() - 7).toInt();
        if (n == kStandingNumber)
            continue;
        const qint64 pid = socatPid(n);
        if (!realDelete(n) && processRunning(pid)) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            waitUntilStopped(pid);
        }
        QFile::remove(pairDir() + QStringLiteral("/COM%1").arg(n));
        QFile::remove(pairDir() + QStringLiteral("/PENT%1").arg(n));
        QFile::remove(pairDir() + QLatin1Char('/') + pidFile);
    }
}

void TestPortPairs::cleanupTestCase()
{
    cleanup();
    const qint64 pid = socatPid(kStandingNumber);
    if (!realDelete(kStandingNumber) && processRunning(pid))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    if (m_foreignMaster >= 0)
        ::close(m_foreignMaster);
}

bool TestPortPairs::realCreate(int n)
{
    const auto create = reinterpret_cast<CreatePairFunction>(m_real.resolve("CreatePair"));
    return create && create(QStringLiteral("COM%1").arg(n).toLatin1().constData(),
                            QStringLiteral("PENT%1").arg(n).toLatin1().constData());
}

bool TestPortPairs::realDelete(int n)
{
    const auto remove = reinterpret_cast<DeletePairFunction>(m_real.resolve("DeletePair"));
    return remove && remove(QStringLiteral("COM%1").arg(n).toLatin1().constData());
}

qint64 TestPortPairs::socatPid(int n) const
{
    return TestFiles::readFile(pairDir() + QStringLiteral("/COM%1.pid").arg(n)).trimmed().toLongLong();
}

QStringList TestPortPairs::fakeLog() const
{
    return QString::fromUtf8(TestFiles::readFile(m_fakeLog)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestPortPairs::useFake(const QByteArray &create, const QByteArray &remove)
{
    qputenv("VSPD_FAKE_CREATE", create);
    qputenv("VSPD_FAKE_DELETE", remove.isEmpty() ? QByteArray("ok") : remove);
}

// ---- names and places ----

void TestPortPairs::names_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("device");
    QTest::newRow("first") << 1 << "COM1" << "PENT1" << "PENT1";
    QTest::newRow("two digits") << 12 << "COM12" << "PENT12" << "PENT12";
    QTest::newRow("last") << 255 << "COM255" << "PENT255" << "PENT255";
}

void TestPortPairs::names()
{
    QFETCH(int, n);
    QFETCH(QString, user);
    QFETCH(QString, tool);
    QFETCH(QString, device);
    QCOMPARE(VirtualPortPairs::comName(n), user);
    QCOMPARE(VirtualPortPairs::pentName(n), tool);
    QCOMPARE(VirtualPortPairs::toolSideDevicePath(n), pairDir() + QLatin1Char('/') + device);
}

void TestPortPairs::pairDirectory_data()
{
    QTest::addColumn<QString>("vspdDir");     // relative to the work folder; empty: unset
    QTest::addColumn<QString>("runtimeDir");  // likewise
    QTest::addColumn<QString>("expected");    // empty: unusable
    QTest::newRow("VSPD_DIR first") << "given/pairs" << "runtime" << "given/pairs";
    QTest::newRow("runtime folder") << "" << "runtime" << "runtime/vspd";
    QTest::newRow("VSPD_DIR is a file") << "plain-file" << "runtime" << "";
    QTest::newRow("VSPD_DIR is a link") << "link-to-dir" << "runtime" << "";
}

void TestPortPairs::pairDirectory()
{
    QFETCH(QString, vspdDir);
    QFETCH(QString, runtimeDir);
    QFETCH(QString, expected);

    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(TestFiles::writeFile(base.filePath(QStringLiteral("plain-file")), "x"));
    QVERIFY(QDir(base.path()).mkdir(QStringLiteral("real-dir")));
    QVERIFY(QFile::link(base.filePath(QStringLiteral("real-dir")), base.filePath(QStringLiteral("link-to-dir"))));
    QVERIFY(QDir(base.path()).mkdir(QStringLiteral("runtime")));

    const QByteArray savedVspd = qgetenv("VSPD_DIR");
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const bool hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    if (vspdDir.isEmpty())
        qunsetenv("VSPD_DIR");
    else
        qputenv("VSPD_DIR", QFile::encodeName(base.filePath(vspdDir)));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base.filePath(runtimeDir)));

    const QString dir = PortPlatform::pairDirectory();

    qputenv("VSPD_DIR", savedVspd);
    if (hadRuntime)
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
    else
        qunsetenv("XDG_RUNTIME_DIR");

    if (expected.isEmpty()) {
        QVERIFY2(dir.isEmpty(), qPrintable(dir));
        return;
    }
    QCOMPARE(dir, base.filePath(expected));
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(dir).constData(), &st) == 0);
    QVERIFY(S_ISDIR(st.st_mode));
    QCOMPARE(st.st_mode & 0777, mode_t(0700));
}

void TestPortPairs::libraryAndListAgreeOnDirectory_data()
{
    QTest::addColumn<bool>("viaRuntimeDir");
    QTest::newRow("VSPD_DIR") << false;
    QTest::newRow("XDG_RUNTIME_DIR") << true;
}

void TestPortPairs::libraryAndListAgreeOnDirectory()
{
    QFETCH(bool, viaRuntimeDir);
    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString expectedDir = viaRuntimeDir ? base.filePath(QStringLiteral("vspd"))
                                              : base.filePath(QStringLiteral("own"));
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const bool hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    if (viaRuntimeDir) {
        qunsetenv("VSPD_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base.path()));
    } else {
        qputenv("VSPD_DIR", QFile::encodeName(expectedDir));
    }

    const bool created = realCreate(9);
    const bool listed = m_pairs.portPairExists(8);
    const QString device = VirtualPortPairs::toolSideDevicePath(9);
    const bool deleted = realDelete(9);

    qputenv("VSPD_DIR", QFile::encodeName(pairDir()));
    if (hadRuntime)
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
    else
        qunsetenv("XDG_RUNTIME_DIR");

    QVERIFY(created);
    QVERIFY(listed);
    QCOMPARE(device, expectedDir + QStringLiteral("/PENT9"));
    QVERIFY(deleted);
    QVERIFY(!QFileInfo::exists(expectedDir + QStringLiteral("/COM9")));
}

void TestPortPairs::driverLibraryLookup()
{
    QLibrary library;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/libvspdctl.so");
    QVERIFY(!QFileInfo::exists(beside));
    VirtualPortPairs::prepareLibrary(library);
    QCOMPARE(library.fileName(), QStringLiteral("vspdctl"));
    // Found through the library path when nothing lies beside the program.
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    QVERIFY(library.resolve("CreatePair"));

    // Installed: in the private library folder, relative to the program's folder.
    const QString privateDir = QDir::cleanPath(QCoreApplication::applicationDirPath()
                                               + QStringLiteral("/" VANTELO_PRIVATE_LIBDIR));
    const QString installed = privateDir + QStringLiteral("/libvspdctl.so");
    QVERIFY(QDir().mkpath(privateDir));
    QVERIFY(QFile::copy(QStringLiteral(VSPD_EMPTY_DRIVER), installed));
    QLibrary fromInstall;
    VirtualPortPairs::prepareLibrary(fromInstall);

    // Beside the program comes first.
    QVERIFY(QFile::copy(QStringLiteral(VSPD_EMPTY_DRIVER), beside));
    QLibrary preferred;
    VirtualPortPairs::prepareLibrary(preferred);
    QFile::remove(beside);
    QFile::remove(installed);
    QCOMPARE(fromInstall.fileName(), installed);
    QCOMPARE(preferred.fileName(), beside);
}

// ---- the port list and the ownership tests ----

void TestPortPairs::listing()
{
    // A link that leads nowhere, a plain file and the remains of a killed pair are
    // no ports.
    QVERIFY(QFile::link(pairDir() + QStringLiteral("/nowhere"), pairDir() + QStringLiteral("/COM7")));
    QVERIFY(TestFiles::writeFile(pairDir() + QStringLiteral("/COM8"), "not a device"));
    QVERIFY(realCreate(22));
    const qint64 pid = socatPid(22);
    QVERIFY(::kill(static_cast<pid_t>(pid), SIGKILL) == 0);
    QVERIFY(waitUntilStopped(pid));

    const QStringList names = m_pairs.serialCommPortNames();

    QFile::remove(pairDir() + QStringLiteral("/COM7"));
    QFile::remove(pairDir() + QStringLiteral("/COM8"));
    QVERIFY(names.contains(QStringLiteral("COM3")));
    QVERIFY(names.contains(QStringLiteral("COM21")));
    QVERIFY(names.contains(QStringLiteral("PENT21")));
    for (const char *absent : {"PENT3", "COM7", "COM8", "COM22", "PENT22", "nokey"})
        QVERIFY2(!names.contains(QLatin1String(absent)), absent);
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(names, sorted);

    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(m_pairs.readSerialCommEntry(i, QStringLiteral("value")), names.at(i));
    QCOMPARE(m_pairs.readSerialCommEntry(names.size(), QStringLiteral("value")), QStringLiteral("nokey"));
    QCOMPARE(m_pairs.readSerialCommEntry(-1, QStringLiteral("value")), QStringLiteral("nokey"));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('|'))));
}

void TestPortPairs::unreadableList()
{
    const QString notADir = m_work.filePath(QStringLiteral("not-a-dir"));
    QVERIFY(TestFiles::writeFile(notADir, "x"));
    qputenv("VSPD_DIR", QFile::encodeName(notADir));

    const QString entry = m_pairs.readSerialCommEntry(0, QStringLiteral("value"));
    const QStringList afterRead = m_messages;
    m_messages.clear();
    const QStringList names = m_pairs.serialCommPortNames();
    const QStringList afterList = m_messages;
    m_messages.clear();
    const bool own = m_pairs.checkPortPair(kStandingNumber - 1);

    qputenv("VSPD_DIR", QFile::encodeName(pairDir()));
    QCOMPARE(entry, QStringLiteral("nokey"));
    QCOMPARE(afterRead, QStringList{QStringLiteral("注册表打开失败\r\n请检查注册表路径是否正确!")});
    QVERIFY(names.isEmpty());
    QVERIFY(afterList.isEmpty());
    QVERIFY(!own);
    QCOMPARE(m_messages, QStringList{kMissing.arg(com(kStandingNumber))});
}

void TestPortPairs::ownershipTests_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("own");
    QTest::addColumn<QString>("message");   // of the dialog's test; empty: none
    QTest::newRow("no choice") << -1 << false << QString();
    QTest::newRow("absent") << 9 << false << kMissing.arg(QStringLiteral("COM10"));
    QTest::newRow("other hardware") << kForeignNumber - 1 << false << kForeign.arg(QStringLiteral("COM3"));
    QTest::newRow("own pair") << kStandingNumber - 1 << true << QString();
}

void TestPortPairs::ownershipTests()
{
    QFETCH(int, index);
    QFETCH(bool, own);
    QFETCH(QString, message);
    QCOMPARE(m_pairs.checkPortPair(index), own);
    QCOMPARE(m_messages, message.isEmpty() ? QStringList() : QStringList{message});
    m_messages.clear();
    QCOMPARE(m_pairs.portPairExists(index), own);
    QVERIFY(m_messages.isEmpty());
}

void TestPortPairs::foreignPortNeverTouched()
{
    const QString refused = kForeign.arg(QStringLiteral("COM3"));
    m_pairs.deletePortPair(kForeignNumber - 1, QStringLiteral(VSPD_FAKE_DRIVER));
    QCOMPARE(m_messages, (QStringList{QString(), refused}));

    m_messages.clear();
    QLibrary fake(QStringLiteral(VSPD_FAKE_DRIVER));
    QSerialPort port;
    setLineDefaults(port);
    QVERIFY(!m_pairs.createPortPairAndOpen(&port, kForeignNumber - 1, fake));
    QCOMPARE(m_messages, QStringList{refused});
    QVERIFY(!port.isOpen());
    QVERIFY2(fakeLog().isEmpty(), qPrintable(fakeLog().join(QLatin1Char('|'))));
    QVERIFY(QFileInfo(pairDir() + QStringLiteral("/COM3")).isSymLink());
}

// ---- creating and opening ----

void TestPortPairs::createOpenAndCarry()
{
    const int n = 30;
    QSerialPort tool;
    setLineDefaults(tool);
    QVERIFY(m_pairs.createPortPairAndOpen(&tool, n - 1, m_real));
    QCOMPARE(m_messages, QStringList{kOpened.arg(com(n))});
    QVERIFY(tool.isOpen());
    QCOMPARE(tool.portName(), pairDir() + QStringLiteral("/PENT30"));
    QCOMPARE(tool.error(), QSerialPort::NoError);
    QVERIFY(m_pairs.portPairExists(n - 1));

    QSerialPort user;
    user.setPortName(pairDir() + QStringLiteral("/COM30"));
    QVERIFY2(user.open(QIODevice::ReadWrite), qPrintable(user.errorString()));

    const QByteArray request = QByteArray::fromHex("01030000000ac5cd");
    user.write(request);
    QVERIFY(user.waitForBytesWritten(1000));
    QCOMPARE(readBytes(tool, request.size()), request);

    QByteArray reply = QByteArray::fromHex("0103140000");
    reply.append(QByteArray(200, '\xff'));
    reply.append('\0');
    tool.write(reply);
    QVERIFY(tool.waitForBytesWritten(1000));
    QCOMPARE(readBytes(user, reply.size()), reply);
}

void TestPortPairs::pairSurvivesReopening()
{
    const int n = 31;
    QVERIFY(realCreate(n));
    for (int round = 0; round < 2; ++round) {
        QSerialPort user;
        user.setPortName(pairDir() + QStringLiteral("/COM31"));
        QSerialPort tool;
        tool.setPortName(pairDir() + QStringLiteral("/PENT31"));
        QVERIFY(user.open(QIODevice::ReadWrite));
        QVERIFY(tool.open(QIODevice::ReadWrite));
        const QByteArray data = QByteArray("round ") + QByteArray::number(round);
        user.write(data);
        QVERIFY(user.waitForBytesWritten(1000));
        QCOMPARE(readBytes(tool, data.size()), data);
        tool.write(data);
        QVERIFY(tool.waitForBytesWritten(1000));
        QCOMPARE(readBytes(user, data.size()), data);
    }
    QVERIFY(processRunning(socatPid(n)));
}

void TestPortPairs::existingPairReused()
{
    const int n = 32;
    QVERIFY(realCreate(n));
    const qint64 pid = socatPid(n);
    QLibrary fake(QStringLiteral(VSPD_FAKE_DRIVER));
    QSerialPort tool;
    setLineDefaults(tool);
    QVERIFY(m_pairs.createPortPairAndOpen(&tool, n - 1, fake));
    QCOMPARE(m_messages, (QStringList{kExists.arg(com(n)), kOpened.arg(com(n))}));
    QVERIFY(tool.isOpen());
    QVERIFY(fakeLog().isEmpty());
    QCOMPARE(socatPid(n), pid);

    // Opening again closes the port of the earlier attempt first.
    m_messages.clear();
    QVERIFY(m_pairs.createPortPairAndOpen(&tool, n - 1, fake));
    QCOMPARE(m_messages, (QStringList{kExists.arg(com(n)), kOpened.arg(com(n))}));
}

void TestPortPairs::staleBytesCleared()
{
    const int n = 33;
    QVERIFY(realCreate(n));
    QSerialPort user;
    user.setPortName(pairDir() + QStringLiteral("/COM33"));
    QVERIFY(user.open(QIODevice::ReadWrite));
    user.write("written while nobody listened");
    QVERIFY(user.waitForBytesWritten(1000));
    QThread::msleep(100);

    QSerialPort tool;
    setLineDefaults(tool);
    QVERIFY(m_pairs.createPortPairAndOpen(&tool, n - 1, m_real));
    user.write("fresh");
    QVERIFY(user.waitForBytesWritten(1000));
    QByteArray got = readBytes(tool, 5);
    got += readBytes(tool, 1, 200);
    QCOMPARE(got, QByteArray("fresh"));
}

void TestPortPairs::createFailures_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QByteArray>("createMode");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("calls");

    const QString notFound = QStringLiteral("串口%1打开失败:%2");
    QTest::newRow("no CreatePair: opened directly, fails")
        << QStringLiteral(VSPD_EMPTY_DRIVER) << QByteArray("ok") << 40
        << notFound.arg(com(40)).arg(int(QSerialPort::DeviceNotFoundError)) << QStringList();
    QTest::newRow("library not loadable: opened directly, fails")
        << QString() << QByteArray("ok") << 41
        << notFound.arg(com(41)).arg(int(QSerialPort::DeviceNotFoundError)) << QStringList();
    QTest::newRow("CreatePair answers false")
        << QStringLiteral(VSPD_FAKE_DRIVER) << QByteArray("fail") << 42
        << QStringLiteral("创建串口COM42失败") << QStringList{QStringLiteral("CreatePair COM42 PENT42")};
}

void TestPortPairs::createFailures()
{
    QFETCH(QString, driver);
    QFETCH(QByteArray, createMode);
    QFETCH(int, n);
    QFETCH(QString, message);
    QFETCH(QStringList, calls);
    useFake(createMode);
    QLibrary library(driver.isEmpty() ? m_garbageDriver : driver);
    QSerialPort tool;
    setLineDefaults(tool);
    QVERIFY(!m_pairs.createPortPairAndOpen(&tool, n - 1, library));
    QCOMPARE(m_messages, QStringList{message});
    QVERIFY(!tool.isOpen());
    QCOMPARE(fakeLog(), calls);
}

void TestPortPairs::pairAppearance_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("createMode");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    // The pair shows up 1.2 s after CreatePair: found by the test at 1.5 s.
    QTest::newRow("appears late") << 45 << QByteArray("late:1200") << true << kOpened.arg(com(45)) << 1400 << 3000;
    QTest::newRow("never appears") << 44 << QByteArray("ok") << false << QStringLiteral("串口COM44不存在") << 4900
                                   << 7000;
}

void TestPortPairs::pairAppearance()
{
    QFETCH(int, n);
    QFETCH(QByteArray, createMode);
    QFETCH(bool, opened);
    QFETCH(QString, message);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    useFake(createMode);
    QLibrary fake(QStringLiteral(VSPD_FAKE_DRIVER));
    QSerialPort tool;
    setLineDefaults(tool);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_pairs.createPortPairAndOpen(&tool, n - 1, fake), opened);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(m_messages, QStringList{message});
    QVERIFY2(elapsed >= minMs && elapsed < maxMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(tool.isOpen(), opened);
    QCOMPARE(fakeLog(), QStringList{QStringLiteral("CreatePair COM%1 PENT%1").arg(n)});
}

void TestPortPairs::killedSocatCleanedUp()
{
    const int n = 60;
    QVERIFY(realCreate(n));
    const qint64 killed = socatPid(n);
    QVERIFY(::kill(static_cast<pid_t>(killed), SIGKILL) == 0);
    QVERIFY(waitUntilStopped(killed));
    QVERIFY(QFileInfo(pairDir() + QStringLiteral("/COM60")).isSymLink());
    QVERIFY(!m_pairs.portPairExists(n - 1));

    QSerialPort tool;
    setLineDefaults(tool);
    QVERIFY(m_pairs.createPortPairAndOpen(&tool, n - 1, m_real));
    QCOMPARE(m_messages, QStringList{kOpened.arg(com(n))});
    const qint64 fresh = socatPid(n);
    QVERIFY(fresh != killed);
    QVERIFY(processRunning(fresh));

    QSerialPort user;
    user.setPortName(pairDir() + QStringLiteral("/COM60"));
    QVERIFY(user.open(QIODevice::ReadWrite));
    user.write("again");
    QVERIFY(user.waitForBytesWritten(1000));
    QCOMPARE(readBytes(tool, 5), QByteArray("again"));
}

void TestPortPairs::endedPairWithReusedPty()
{
    // The socat of pair 24 has ended and its pty numbers now belong to somebody else
    // (here: the pty behind COM3). The pair is gone all the same.
    const int n = 24;
    QProcess ended;
    ended.start(QStringLiteral("true"), QStringList());
    QVERIFY(ended.waitForStarted(3000));
    const qint64 deadPid = ended.processId();
    QVERIFY(deadPid > 0);
    QVERIFY(ended.waitForFinished(3000));
    QVERIFY(waitUntilStopped(deadPid));
    const QString reused = QFileInfo(pairDir() + QStringLiteral("/COM3")).symLinkTarget();
    QVERIFY(QFile::link(reused, pairDir() + QStringLiteral("/COM24")));
    QVERIFY(QFile::link(reused, pairDir() + QStringLiteral("/PENT24")));
    QVERIFY(TestFiles::writeFile(pairDir() + QStringLiteral("/COM24.pid"), QByteArray::number(deadPid) + "\n"));

    QVERIFY(!m_pairs.serialCommPortNames().contains(QStringLiteral("COM24")));
    QVERIFY(!m_pairs.portPairExists(n - 1));

    QVERIFY(realCreate(n));
    QVERIFY(QFileInfo(pairDir() + QStringLiteral("/COM24")).symLinkTarget() != reused);
    QVERIFY(QFileInfo(pairDir() + QStringLiteral("/PENT24")).symLinkTarget() != reused);
    QVERIFY(processRunning(socatPid(n)));
    QVERIFY(m_pairs.portPairExists(n - 1));
}

void TestPortPairs::deviceLossClosesOnce_data()
{
    QTest::addColumn<bool>("gone");
    QTest::newRow("device gone") << true;
    // Nobody reads COMn: a write that would block is reported as a resource error too.
    QTest::newRow("device full") << false;
}

void TestPortPairs::deviceLossClosesOnce()
{
    QFETCH(bool, gone);
    const int n = gone ? 70 : 71;
    QSerialPort tool;
    setLineDefaults(tool);
    QVERIFY(m_pairs.createPortPairAndOpen(&tool, n - 1, m_real));
    int lost = 0;
    int errors = 0;
    VirtualPortPairs::closeOnDeviceLoss(&tool, [&lost] { ++lost; });
    connect(&tool, &QSerialPort::errorOccurred, this, [&errors](QSerialPort::SerialPortError e) {
        if (e != QSerialPort::NoError)
            ++errors;
    });

    if (gone) {
        const qint64 pid = socatPid(n);
        QVERIFY(::kill(static_cast<pid_t>(pid), SIGKILL) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!tool.isOpen(), 3000);
        QTest::qWait(300);
        QCOMPARE(lost, 1);
        QVERIFY2(errors < 50, qPrintable(QString::number(errors)));
        return;
    }
    // COMn is open, as the PLC programming software has it, but nobody reads it.
    QSerialPort user;
    user.setPortName(pairDir() + QStringLiteral("/COM%1").arg(n));
    QVERIFY2(user.open(QIODevice::ReadWrite), qPrintable(user.errorString()));
    user.setReadBufferSize(1);
    QByteArray data(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i % 251);
    tool.write(data);
    QTest::qWait(300);
    QVERIFY(tool.bytesToWrite() > 0);
    QVERIFY(!tool.flush()); // writes at once, without waiting until the pty takes more
    QCOMPARE(tool.error(), QSerialPort::ResourceError);
    QTest::qWait(300);
    QVERIFY(tool.isOpen());
    QCOMPARE(lost, 0);
    // Nothing was lost: COMn gets every byte once it reads (the tool side writes from
    // the event loop).
    user.setReadBufferSize(0);
    QByteArray got;
    for (QDeadlineTimer deadline(10000); got.size() < data.size() && !deadline.hasExpired();) {
        QTest::qWait(5);
        got += user.readAll();
    }
    QCOMPARE(got.size(), data.size());
    QVERIFY(got == data);
    QCOMPARE(lost, 0);
}

// ---- deleting ----

void TestPortPairs::deleteRefusedWhileOpen_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("openSide");
    QTest::newRow("user side open") << 50 << "COM50";
    QTest::newRow("tool side open") << 51 << "PENT51";
}

void TestPortPairs::deleteRefusedWhileOpen()
{
    QFETCH(int, n);
    QFETCH(QString, openSide);
    QVERIFY(realCreate(n));
    const qint64 pid = socatPid(n);
    {
        QSerialPort holder;
        holder.setPortName(pairDir() + QLatin1Char('/') + openSide);
        QVERIFY(holder.open(QIODevice::ReadWrite));
        m_pairs.deletePortPair(n - 1);
        QCOMPARE(m_messages, (QStringList{QString(), kInUse.arg(com(n))}));
        QVERIFY(m_pairs.portPairExists(n - 1));
        QVERIFY(processRunning(pid));
    }
    m_messages.clear();
    m_pairs.deletePortPair(n - 1);
    QCOMPARE(m_messages, QStringList{QString()});
    QVERIFY(!m_pairs.portPairExists(n - 1));
    QVERIFY(waitUntilStopped(pid, 100));
    const QStringList left = QDir(pairDir()).entryList(
        {QStringLiteral("COM%1*").arg(n), QStringLiteral("PENT%1*").arg(n)}, QDir::AllEntries | QDir::System);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

void TestPortPairs::otherPairsDoNotHoldThisOne()
{
    // The program may hold descriptors without close-on-exec while it creates a pair;
    // the new socat must not inherit them, or it would keep the other pair busy.
    QVERIFY(realCreate(52));
    const int held = ::open(QFile::encodeName(pairDir() + QStringLiteral("/COM52")).constData(),
                            O_RDWR | O_NOCTTY);
    QVERIFY(held >= 0);
    const bool created = realCreate(53);
    ::close(held);
    QVERIFY(created);
    m_pairs.deletePortPair(51);
    QCOMPARE(m_messages, QStringList{QString()});
    QVERIFY(!m_pairs.portPairExists(51));
    QVERIFY(m_pairs.portPairExists(52));
}

void TestPortPairs::deleteLibraryOutcomes_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QByteArray>("deleteMode");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("calls");

    const QString standing = com(kStandingNumber);
    QTest::newRow("not loadable") << QString() << QByteArray("ok")
                                  << QStringList{QString(), QStringLiteral("加载vspdctl.dll失败")}
                                  << QStringList();
    QTest::newRow("no DeletePair") << QStringLiteral(VSPD_EMPTY_DRIVER) << QByteArray("ok")
                                   << QStringList{QString()} << QStringList();
    QTest::newRow("DeletePair false") << QStringLiteral(VSPD_FAKE_DRIVER) << QByteArray("fail")
                                      << QStringList{QString(), kInUse.arg(standing)}
                                      << QStringList{QStringLiteral("DeletePair ") + standing};
    QTest::newRow("DeletePair true") << QStringLiteral(VSPD_FAKE_DRIVER) << QByteArray("ok")
                                     << QStringList{QString()}
                                     << QStringList{QStringLiteral("DeletePair ") + standing};
}

void TestPortPairs::deleteLibraryOutcomes()
{
    QFETCH(QString, driver);
    QFETCH(QByteArray, deleteMode);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, calls);
    useFake("ok", deleteMode);
    m_messages << QStringLiteral("left from before");
    m_pairs.deletePortPair(kStandingNumber - 1, driver.isEmpty() ? m_garbageDriver : driver);
    QCOMPARE(m_messages, QStringList{QStringLiteral("left from before")} + messages);
    QCOMPARE(fakeLog(), calls);
    QVERIFY(m_pairs.portPairExists(kStandingNumber - 1));
}

void TestPortPairs::libraryRefuses_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("tool");   // empty: DeletePair(user)
    QTest::newRow("number 0") << QByteArray("COM0") << QByteArray("PENT0");
    QTest::newRow("number 256") << QByteArray("COM256") << QByteArray("PENT256");
    QTest::newRow("different numbers") << QByteArray("COM5") << QByteArray("PENT6");
    QTest::newRow("leading zero") << QByteArray("COM05") << QByteArray("PENT05");
    QTest::newRow("sides swapped") << QByteArray("PENT5") << QByteArray("COM5");
    QTest::newRow("lower case") << QByteArray("com5") << QByteArray("pent5");
    QTest::newRow("trailing text") << QByteArray("COM5x") << QByteArray("PENT5x");
    QTest::newRow("path") << QByteArray("../COM5") << QByteArray("../PENT5");
    QTest::newRow("existing pair") << QByteArray("COM21") << QByteArray("PENT21");
    QTest::newRow("other hardware's name") << QByteArray("COM3") << QByteArray("PENT3");
    QTest::newRow("delete never created") << QByteArray("COM23") << QByteArray();
    QTest::newRow("delete other hardware") << QByteArray("COM3") << QByteArray();
    QTest::newRow("delete tool side name") << QByteArray("PENT21") << QByteArray();
    QTest::newRow("delete bad number") << QByteArray("COM0") << QByteArray();
}

void TestPortPairs::libraryRefuses()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, tool);
    const QStringList before = QDir(pairDir()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    const qint64 standingPid = socatPid(kStandingNumber);
    if (tool.isEmpty()) {
        const auto remove = reinterpret_cast<DeletePairFunction>(m_real.resolve("DeletePair"));
        QVERIFY(!remove(user.constData()));
    } else {
        const auto create = reinterpret_cast<CreatePairFunction>(m_real.resolve("CreatePair"));
        QVERIFY(!create(user.constData(), tool.constData()));
    }
    QCOMPARE(QDir(pairDir()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), before);
    QCOMPARE(socatPid(kStandingNumber), standingPid);
    QVERIFY(processRunning(standingPid));
}

QTEST_GUILESS_MAIN(TestPortPairs)
#include "tst_portpairs.moc"
