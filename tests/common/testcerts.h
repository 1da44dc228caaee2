#ifndef TESTCERTS_H
#define TESTCERTS_H

#include <QString>

// Certificates made at run time with the openssl command, for a TLS lab on 127.0.0.1.
namespace TestCerts {

struct Files
{
    QString authority;      // PEM of a private authority (self-signed)
    QString server;         // certificate for 127.0.0.1 and localhost, signed by it
    QString serverKey;
    QString otherHost;      // certificate for other.example, signed by it
    QString otherHostKey;
};

// Writes the files into dir. False, with openssl's words in *error, when one of them
// could not be made.
bool make(const QString &dir, Files *files, QString *error);

} // namespace TestCerts

#endif // TESTCERTS_H
