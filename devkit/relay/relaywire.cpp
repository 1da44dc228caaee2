#include "relaywire.h"

namespace RelayWire {

const QByteArray kDelimiter = QByteArrayLiteral("$_$");
const QByteArray kPanelAck = QByteArrayLiteral("ok$_$");
const QByteArray kGoAhead = QByteArrayLiteral("start$_$");
const QByteArray kOffline = QByteArrayLiteral("offline$_$");
const QByteArray kBusy = QByteArrayLiteral("busy$_$");
const QByteArray kEnd = QByteArrayLiteral("end$_$");
const QByteArray kPanelGone = QByteArrayLiteral("disconnected,2$_$");

namespace {
const QByteArray kPanelPrefix = QByteArrayLiteral("panel,");
const QByteArray kDesktopSuffix = QByteArrayLiteral(",1");
} // namespace

bool isValidId(const QByteArray &id)
{
    if (id.isEmpty() || id.size() > kMaxId)
        return false;
    for (char c : id) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
            || c == '_' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

Registration parseRegistration(const QByteArray &buffer)
{
    Registration r;
    const int end = buffer.indexOf(kDelimiter);
    if (end < 0) {
        if (buffer.size() > kMaxRegistration) {
            r.kind = Kind::Garbage;
            r.length = buffer.size();
            r.reason = QStringLiteral("no \"$_$\" within %1 bytes").arg(kMaxRegistration);
        }
        return r;
    }
    r.length = end + kDelimiter.size();
    r.body = buffer.left(end);
    if (end > kMaxRegistration) {
        r.kind = Kind::Garbage;
        r.reason = QStringLiteral("registration longer than %1 bytes").arg(kMaxRegistration);
        return r;
    }
    if (r.body.startsWith(kPanelPrefix)) {
        const QByteArray id = r.body.mid(kPanelPrefix.size());
        if (isValidId(id)) {
            r.kind = Kind::Panel;
            r.imei = QString::fromLatin1(id);
        } else {
            r.kind = Kind::Garbage;
            r.reason = QStringLiteral("bad panel id");
        }
        return r;
    }
    if (r.body.endsWith(kDesktopSuffix) && isValidId(r.body.left(r.body.size() - kDesktopSuffix.size()))) {
        r.kind = Kind::Desktop;
        return r;
    }
    r.kind = Kind::Garbage;
    r.reason = QStringLiteral("not a registration");
    return r;
}

DesktopMatch matchDesktop(const QByteArray &body, const std::function<bool(const QString &)> &isOnline)
{
    DesktopMatch m;
    if (!body.endsWith(kDesktopSuffix))
        return m;
    const QByteArray id = body.left(body.size() - kDesktopSuffix.size());
    m.passthroughImei = QString::fromLatin1(id);
    if (id.size() > 1 && id.endsWith('1'))
        m.downloadImei = QString::fromLatin1(id.left(id.size() - 1));
    m.imei = m.passthroughImei;
    if (isOnline(m.passthroughImei)) {
        m.found = true;
        m.form = Form::Passthrough;
    } else if (!m.downloadImei.isEmpty() && isOnline(m.downloadImei)) {
        m.found = true;
        m.form = Form::Download;
        m.imei = m.downloadImei;
    }
    return m;
}

QString formName(Form form)
{
    return form == Form::Download ? QStringLiteral("download") : QStringLiteral("passthrough");
}

QByteArray sessionMessage(Form form)
{
    return "session," + formName(form).toLatin1() + kDelimiter;
}

bool isGoAheadVariant(const QString &variant)
{
    static const QStringList known = {QString(), QStringLiteral("normal"), QStringLiteral("split"),
                                      QStringLiteral("extra"), QStringLiteral("case"),
                                      QStringLiteral("zeroTail"), QStringLiteral("none")};
    return known.contains(variant);
}

QList<GoAheadStep> goAheadSteps(const QString &variant)
{
    if (variant == QLatin1String("none"))
        return {};
    if (variant == QLatin1String("split"))
        return {{QByteArrayLiteral("sta"), 0}, {QByteArrayLiteral("rt$_$"), 50}};
    if (variant == QLatin1String("extra"))
        return {{kGoAhead + QByteArrayLiteral("xyz"), 0}};
    if (variant == QLatin1String("case"))
        return {{QByteArrayLiteral("START$_$"), 0}};
    if (variant == QLatin1String("zeroTail"))
        return {{kGoAhead + QByteArray("\0junk", 5), 0}};
    return {{kGoAhead, 0}};
}

} // namespace RelayWire
