#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Small file helpers shared by the tests.
namespace TestFiles {

bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);
bool writeJson(const QString &path, const QJsonObject &obj);

} // namespace TestFiles

#endif // TESTFILES_H
