#include "labconfig.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

namespace LabConfig {

bool load(const QString &path, QJsonObject *config, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object: %2").arg(path, parseError.errorString());
        return false;
    }
    *config = doc.object();
    return true;
}

int portValue(const QJsonValue &value, int fallback)
{
    bool ok = true;
    int port = -1;
    if (value.isDouble())
        port = value.toInt(-1);
    else if (value.isString())
        port = value.toString().toInt(&ok);
    if (!ok || port < 0 || port > 65535)
        return fallback;
    return port;
}

QString imeiValue(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().trimmed();
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    return QString();
}

} // namespace LabConfig
