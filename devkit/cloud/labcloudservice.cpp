#include "labcloudservice.h"

#include "archiveidentity.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>

const char *const LabCloudService::uploadContentTypePrefix = "multipart/form-data; boundary=";

namespace {

QJsonObject reply(int code, const QString &msg)
{
    return QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("msg"), msg}};
}

QJsonObject badField(const QString &name)
{
    return reply(400, QStringLiteral("字段%1缺失或类型错误").arg(name));
}

// Whether each named field of the request has the wanted type; the first that has not
// gets a 400 answer.
bool checkFields(const QJsonObject &request, std::initializer_list<const char *> names,
                 bool (QJsonValue::*hasType)() const, LabOutcome *outcome)
{
    for (const char *name : names) {
        if (!(request.value(QLatin1String(name)).*hasType)()) {
            outcome->answer = badField(QLatin1String(name));
            return false;
        }
    }
    return true;
}

// The boundary named by an upload's Content-Type, or empty when the header is not
// "multipart/form-data; boundary=<boundary>".
QString uploadBoundary(const QString &contentType)
{
    const QString prefix = QLatin1String(LabCloudService::uploadContentTypePrefix);
    if (!contentType.startsWith(prefix))
        return QString();
    const QString boundary = contentType.mid(prefix.size());
    static const QString allowed = QStringLiteral("'()+_,-./:=? ");
    if (boundary.isEmpty() || boundary.size() > 70 || boundary.endsWith(QLatin1Char(' ')))
        return QString();
    for (const QChar c : boundary)
        if (c.unicode() > 0x7f || (!c.isLetterOrNumber() && !allowed.contains(c)))
            return QString();
    return boundary;
}

bool ownsPanel(const LabAccount &account, const QString &imei)
{
    return std::any_of(account.panels.begin(), account.panels.end(),
                       [&](const LabPanel &p) { return p.imei == imei; });
}

// A name that stays one path component inside the store.
bool isSafeName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// Parses a JSON request body. On failure fills the outcome with a 400 answer.
bool parseObject(const QByteArray &body, QJsonObject *object, LabOutcome *outcome)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        outcome->event.insert(QStringLiteral("bodySize"), body.size());
        outcome->event.insert(QStringLiteral("body"), QString::fromUtf8(body.left(256)));
        outcome->answer = reply(400, QStringLiteral("请求体不是JSON对象"));
        return false;
    }
    *object = doc.object();
    outcome->event.insert(QStringLiteral("fields"), *object);
    const QJsonValue account = object->value(QStringLiteral("account"));
    if (account.isString()) {
        outcome->account = account.toString();
        outcome->event.insert(QStringLiteral("account"), account);
    }
    return true;
}

} // namespace

LabCloudService::LabCloudService(const LabCloudConfig &config, const QString &storeDir)
    : m_config(config), m_storeDir(storeDir)
{
    for (const auto &b : m_config.bindings)
        m_bindings.insert(b.first, b.second);
}

const LabAccount *LabCloudService::signIn(const QString &account, const QString &password,
                                          LabOutcome *outcome) const
{
    const LabAccount *a = m_config.findAccount(account);
    if (a && a->password == password)
        return a;
    outcome->answer = reply(401, QStringLiteral("账号不存在或密码错误"));
    return nullptr;
}

bool LabCloudService::isBound(const QString &gatewayId, const QString &uuid) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_bindings.constFind(gatewayId);
    return it != m_bindings.constEnd() && it.value() == uuid;
}

LabOutcome LabCloudService::deviceList(const QByteArray &body) const
{
    LabOutcome out;
    QJsonObject request;
    if (!parseObject(body, &request, &out))
        return out;
    if (!checkFields(request, {"account", "password"}, &QJsonValue::isString, &out))
        return out;
    const LabAccount *account = signIn(request.value(QStringLiteral("account")).toString(),
                                       request.value(QStringLiteral("password")).toString(), &out);
    if (!account)
        return out;
    QJsonArray data;
    for (const LabPanel &p : account->panels)
        data.append(QJsonObject{{QStringLiteral("deviceImei"), p.imei},
                                {QStringLiteral("deviceStatus"), p.status}});
    out.answer = reply(200, QStringLiteral("成功"));
    out.answer.insert(QStringLiteral("data"), data);
    return out;
}

LabOutcome LabCloudService::checkUuid(const QByteArray &body) const
{
    LabOutcome out;
    QJsonObject request;
    if (!parseObject(body, &request, &out))
        return out;
    if (!checkFields(request, {"uuid", "gatewayId", "account", "password"}, &QJsonValue::isString, &out)
        || !checkFields(request, {"usePrjName", "check"}, &QJsonValue::isBool, &out))
        return out;
    const LabAccount *account = signIn(request.value(QStringLiteral("account")).toString(),
                                       request.value(QStringLiteral("password")).toString(), &out);
    if (!account)
        return out;
    const QString gatewayId = request.value(QStringLiteral("gatewayId")).toString();
    if (!ownsPanel(*account, gatewayId)) {
        out.answer = reply(403, QStringLiteral("设备不属于该账号"));
        return out;
    }
    out.answer = isBound(gatewayId, request.value(QStringLiteral("uuid")).toString())
                     ? reply(200, QStringLiteral("工程已存在"))
                     : reply(500, QStringLiteral("需要上传"));
    return out;
}

LabOutcome LabCloudService::upload(const QString &contentType, const QList<LabUploadPart> &parts) const
{
    LabOutcome out;

    // Record what arrived, whatever is judged of it below.
    QJsonObject fields;
    QHash<QString, int> count;
    const LabUploadPart *filePart = nullptr;
    for (const LabUploadPart &part : parts) {
        ++count[part.name];
        if (part.name == QLatin1String("file")) {
            filePart = &part;
            continue;
        }
        fields.insert(part.name, QString::fromUtf8(part.content));
    }
    out.event.insert(QStringLiteral("fields"), fields);
    if (fields.value(QStringLiteral("account")).isString()) {
        out.account = fields.value(QStringLiteral("account")).toString();
        out.event.insert(QStringLiteral("account"), out.account);
    }
    QString identity;
    QString archiveError;
    bool archiveOk = false;
    if (filePart) {
        out.event.insert(QStringLiteral("file"), QJsonObject{
            {QStringLiteral("name"), filePart->filename},
            {QStringLiteral("contentType"), filePart->contentType},
            {QStringLiteral("size"), double(filePart->content.size())},
            {QStringLiteral("md5"), QString::fromLatin1(
                 QCryptographicHash::hash(filePart->content, QCryptographicHash::Md5).toHex())}});
        archiveOk = ArchiveIdentity::compute(filePart->content, &identity, &archiveError);
        out.event.insert(QStringLiteral("identity"), archiveOk ? QJsonValue(identity) : QJsonValue());
        if (!archiveOk)
            out.event.insert(QStringLiteral("archiveError"), archiveError);
    }

    // Judge.
    const QString boundary = uploadBoundary(contentType);
    out.event.insert(QStringLiteral("boundary"), boundary);
    if (boundary.isEmpty()) {
        out.answer = reply(400, QStringLiteral("Content-Type必须为%1<boundary>")
                                    .arg(QLatin1String(uploadContentTypePrefix)));
        return out;
    }
    for (const char *name : {"uuid", "usePrjName", "gatewayId", "account", "password"}) {
        const QString key = QLatin1String(name);
        if (count.value(key) != 1) {
            out.answer = badField(key);
            return out;
        }
        for (const LabUploadPart &part : parts)
            if (part.name == key && !part.filename.isEmpty()) {
                out.answer = badField(key);
                return out;
            }
    }
    const QString usePrjName = fields.value(QStringLiteral("usePrjName")).toString();
    if (usePrjName != QLatin1String("0") && usePrjName != QLatin1String("1")) {
        out.answer = badField(QStringLiteral("usePrjName"));
        return out;
    }
    if (count.value(QStringLiteral("file")) != 1 || filePart->filename.isEmpty()
        || filePart->contentType != QLatin1String("application/zip")) {
        out.answer = badField(QStringLiteral("file"));
        return out;
    }
    if (!isSafeName(filePart->filename)) {
        out.answer = reply(400, QStringLiteral("文件名无效"));
        return out;
    }
    const LabAccount *account = signIn(out.account, fields.value(QStringLiteral("password")).toString(), &out);
    if (!account)
        return out;
    const QString gatewayId = fields.value(QStringLiteral("gatewayId")).toString();
    if (!ownsPanel(*account, gatewayId) || !isSafeName(gatewayId)) {
        out.answer = reply(403, QStringLiteral("设备不属于该账号"));
        return out;
    }
    if (!archiveOk) {
        out.answer = reply(400, QStringLiteral("文件不是有效的zip压缩包"));
        return out;
    }
    const QString uuid = fields.value(QStringLiteral("uuid")).toString();
    if (identity != uuid) {
        out.answer = reply(422, QStringLiteral("uuid与文件内容不一致"));
        return out;
    }
    out.answer = reply(200, QStringLiteral("上传成功"));
    out.accepted = true;
    out.gatewayId = gatewayId;
    out.fileName = filePart->filename;
    out.uuid = uuid;
    out.archive = filePart->content;
    return out;
}

void LabCloudService::commit(LabOutcome *outcome)
{
    if (!outcome->accepted)
        return;
    const QDir dir(QDir(m_storeDir).absoluteFilePath(outcome->gatewayId));
    const QString path = dir.absoluteFilePath(outcome->fileName);
    QSaveFile file(path);
    if (!dir.mkpath(QStringLiteral(".")) || !file.open(QIODevice::WriteOnly)
        || file.write(outcome->archive) != outcome->archive.size() || !file.commit()) {
        qWarning() << "LabCloudService::commit cannot store" << path << file.errorString();
        outcome->accepted = false;
        outcome->answer = reply(500, QStringLiteral("文件保存失败"));
        return;
    }
    QJsonObject fileEvent = outcome->event.value(QStringLiteral("file")).toObject();
    fileEvent.insert(QStringLiteral("stored"), path);
    outcome->event.insert(QStringLiteral("file"), fileEvent);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bindings.insert(outcome->gatewayId, outcome->uuid);
}
