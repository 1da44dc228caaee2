#include "secretservicelab.h"

#include "labprocess.h"
#include "testfiles.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <qt5keychain/keychain.h>

typedef QMap<QString, QString> SecretAttributes;
Q_DECLARE_METATYPE(SecretAttributes)

namespace {
const char kSecrets[] = "org.freedesktop.secrets";
const char kConnection[] = "secretservicelab";
} // namespace

SecretServiceLab::SecretServiceLab() = default;

SecretServiceLab::~SecretServiceLab()
{
    stop();
}

bool SecretServiceLab::start(QString *error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const QDir dir(m_dir.path());
    // A session bus that starts no services by itself.
    const QByteArray config =
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
        + dir.filePath("bus").toUtf8()
        + "</listen>\n  <auth>EXTERNAL</auth>\n"
          "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
          "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
    if (!TestFiles::writeFile(dir.filePath("bus.conf"), config)) {
        *error = QStringLiteral("cannot write the bus configuration");
        return false;
    }
    m_bus.start(QStringLiteral("dbus-daemon"),
                {"--config-file=" + dir.filePath("bus.conf"), "--nofork", "--print-address=1"});
    QDeadlineTimer deadline(10000);
    while (!m_bus.canReadLine() && !deadline.hasExpired() && m_bus.state() != QProcess::NotRunning)
        m_bus.waitForReadyRead(100);
    m_address = QString::fromUtf8(m_bus.readLine().trimmed());
    if (m_address.isEmpty()) {
        *error = QStringLiteral("dbus-daemon did not start: %1 %2")
                     .arg(m_bus.errorString(), QString::fromLocal8Bit(m_bus.readAllStandardError()));
        return false;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());

    // The keyring lives in a home of its own, unlocked with a password on stdin.
    for (const char *sub : {"home/data", "home/config", "run"})
        dir.mkpath(QLatin1String(sub));
    QFile::setPermissions(dir.filePath("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                   | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
    env.insert("HOME", dir.filePath("home"));
    env.insert("XDG_DATA_HOME", dir.filePath("home/data"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("home/config"));
    env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    env.remove("DISPLAY");
    m_keyring.setProcessEnvironment(env);
    m_keyring.setProcessChannelMode(QProcess::MergedChannels);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {"--foreground", "--unlock", "--components=secrets"});
    if (!m_keyring.waitForStarted(10000)) {
        *error = QStringLiteral("gnome-keyring-daemon did not start: %1").arg(m_keyring.errorString());
        return false;
    }
    // Nothing here runs an event loop: the password goes out before stdin is closed.
    m_keyring.write("test-keyring-password");
    m_keyring.waitForBytesWritten(5000);
    m_keyring.closeWriteChannel();

    QDBusConnection bus = QDBusConnection::connectToBus(m_address, QLatin1String(kConnection));
    while (!deadline.hasExpired()) {
        if (bus.isConnected() && bus.interface()->isServiceRegistered(QLatin1String(kSecrets)))
            return true;
        if (m_keyring.state() == QProcess::NotRunning)
            break;
        QThread::msleep(50);
    }
    *error = QStringLiteral("the keyring did not come up: %1").arg(QString::fromLocal8Bit(m_keyring.readAll()));
    return false;
}

void SecretServiceLab::stopKeyring()
{
    stopProcess(m_keyring);
}

void SecretServiceLab::stop()
{
    stopKeyring();
    QDBusConnection::disconnectFromBus(QLatin1String(kConnection));
    stopProcess(m_bus);
}

int SecretServiceLab::itemCount() const
{
    qDBusRegisterMetaType<SecretAttributes>();
    QDBusInterface service(QLatin1String(kSecrets), QStringLiteral("/org/freedesktop/secrets"),
                           QStringLiteral("org.freedesktop.Secret.Service"),
                           QDBusConnection(QLatin1String(kConnection)));
    service.setTimeout(5000);
    // No attributes: every item matches.
    const QDBusMessage reply = service.call(QStringLiteral("SearchItems"),
                                            QVariant::fromValue(SecretAttributes()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return -1;
    int n = 0;
    for (const QVariant &paths : reply.arguments())
        n += qdbus_cast<QList<QDBusObjectPath>>(paths).size();
    return n;
}

QString SecretServiceLab::read(const QString &service, const QString &key, bool *found) const
{
    // The job deletes itself once it ends, also after the wait gave up on it.
    auto *job = new QKeychain::ReadPasswordJob(service);
    job->setKey(key);
    QEventLoop loop;
    bool ended = false;
    QString text;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *) {
        ended = true;
        *found = job->error() == QKeychain::NoError;
        text = *found ? job->textData() : QString();
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    job->start();
    loop.exec();
    if (!ended)
        *found = false;
    return text;
}
