#ifndef LABCONFIG_H
#define LABCONFIG_H

#include <QJsonObject>
#include <QString>

// Reading the lab's JSON config. Relative paths in it are taken from the current
// working directory (the launcher and the README run the lab from the repo root).
namespace LabConfig {

bool load(const QString &path, QJsonObject *config, QString *error);

// A port from a JSON value (number or numeric string); fallback when absent or invalid.
int portValue(const QJsonValue &value, int fallback);

// An IMEI from a JSON value: a string, or a whole number written without exponent.
QString imeiValue(const QJsonValue &value);

} // namespace LabConfig

#endif // LABCONFIG_H
