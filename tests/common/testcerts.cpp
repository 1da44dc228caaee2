#include "testcerts.h"

#include "testfiles.h"

#include <QDir>
#include <QProcess>

namespace TestCerts {

namespace {

bool openssl(const QString &dir, const QStringList &args, QString *error)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("openssl %1: %2%3")
                     .arg(args.join(QLatin1Char(' ')), p.errorString(), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

// A key and a certificate for the given names, signed by the authority in dir.
bool signedCert(const QString &dir, const QString &name, const QString &commonName,
                const QString &altNames, QString *error)
{
    const QString ext = name + QStringLiteral(".ext");
    if (!TestFiles::writeFile(QDir(dir).filePath(ext),
                              "subjectAltName=" + altNames.toLatin1()
                                  + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"))
        return false;
    return openssl(dir, {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                         "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + commonName},
                   error)
           && openssl(dir, {"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                            "-CAcreateserial", "-days", "2", "-extfile", ext, "-out", name + ".pem"},
                      error);
}

} // namespace

bool make(const QString &dir, Files *files, QString *error)
{
    if (!openssl(dir, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                       "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Vantelo test authority",
                       "-addext", "basicConstraints=critical,CA:TRUE",
                       "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
                 error)
        || !signedCert(dir, "server", "127.0.0.1", "IP:127.0.0.1,DNS:localhost", error)
        || !signedCert(dir, "other", "other.example", "DNS:other.example", error))
        return false;
    const QDir d(dir);
    files->authority = d.filePath("ca.pem");
    files->server = d.filePath("server.pem");
    files->serverKey = d.filePath("server.key");
    files->otherHost = d.filePath("other.pem");
    files->otherHostKey = d.filePath("other.key");
    return true;
}

} // namespace TestCerts
