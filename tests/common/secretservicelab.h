#ifndef SECRETSERVICELAB_H
#define SECRETSERVICELAB_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A Secret Service of a test's own: a private D-Bus session bus (without service
// activation, so nothing else is ever started on it) and gnome-keyring-daemon serving
// an unlocked keyring kept in a temporary home. start() points this process's
// DBUS_SESSION_BUS_ADDRESS at the bus: call it before anything in the process has
// touched D-Bus. Everything is stopped by the destructor.
class SecretServiceLab
{
public:
    SecretServiceLab();
    ~SecretServiceLab();

    SecretServiceLab(const SecretServiceLab &) = delete;
    SecretServiceLab &operator=(const SecretServiceLab &) = delete;

    // Bus and keyring, each waited for (bounded). False with the reason in *error.
    bool start(QString *error);
    // Only the keyring ends; the bus stays, with nobody answering for the keychain.
    void stopKeyring();
    void stop();

    QString busAddress() const { return m_address; }

    // Items stored in the keyring, asked through the Secret Service's own interface;
    // -1 when it does not answer.
    int itemCount() const;
    // The text stored by the keychain library for service and key; *found false when
    // there is none or the keychain did not answer.
    QString read(const QString &service, const QString &key, bool *found) const;

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
};

#endif // SECRETSERVICELAB_H
