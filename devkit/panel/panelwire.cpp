#include "panelwire.h"

namespace PanelWire {

const QByteArray kMagic = QByteArrayLiteral("QuindarVelostemix");
const QByteArray kDelimiter = QByteArrayLiteral("$_$");
const QByteArray kSessionEnd = QByteArrayLiteral("end$_$");
const QByteArray kNextSession = QByteArrayLiteral("end$_$session,");

quint32 readU32le(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}

quint32 byteSum(const char *data, int size)
{
    quint32 sum = 0;
    const auto *u = reinterpret_cast<const uchar *>(data);
    for (int i = 0; i < size; ++i)
        sum += u[i];
    return sum;
}

bool startsLikeCommand(const QByteArray &buffer)
{
    const int n = qMin(buffer.size(), kMagic.size());
    return n > 0 && buffer.left(n) == kMagic.left(n);
}

CommandFrame parseCommand(const QByteArray &buffer)
{
    CommandFrame f;
    if (buffer.size() < kCommandSize || !buffer.startsWith(kMagic)
        || buffer.mid(32, 3) != kDelimiter)
        return f;
    f.valid = true;
    f.code = quint8(buffer.at(17));
    f.size = readU32le(buffer.constData() + 21);
    f.sum = readU32le(buffer.constData() + 25);
    return f;
}

bool isAnnounceCode(quint8 code)
{
    return code == kCodeFirmware || (code >= 10 && code <= 25) || code == 29 || code == 31 || code == 54;
}

QByteArray modelReply(int model, int comm, int module)
{
    QByteArray r(3, '\0');
    r[0] = char(quint8(model));
    r[1] = char(quint8(comm));
    r[2] = char(quint8(module));
    return r;
}

QByteArray versionReply(quint32 version)
{
    QByteArray r(4, '\0');
    r[0] = char(version >> 24);
    r[1] = char(version >> 16);
    r[2] = char(version >> 8);
    r[3] = char(version);
    return r;
}

bool parseHex(const QString &text, QByteArray *bytes)
{
    QString compact = text;
    compact.remove(QLatin1Char(' '));
    if (compact.size() % 2 != 0)
        return false;
    for (QChar c : compact) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
              || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    }
    *bytes = QByteArray::fromHex(compact.toLatin1());
    return true;
}

int nextSessionAt(const QByteArray &buffer)
{
    return buffer.indexOf(kNextSession);
}

PassthroughTake takePassthrough(QByteArray *collected)
{
    PassthroughTake t;
    const int next = nextSessionAt(*collected);
    if (next >= 0 && !(next >= 3 && collected->mid(next - 3, 3) == kDelimiter) && next != 0) {
        // The desktop left in the middle of a message: that part is lost.
        t.complete = true;
        t.sessionEnd = true;
        t.rest = collected->mid(next + kSessionEnd.size());
        collected->clear();
        return t;
    }
    // An end note at a message boundary: at the start, or right after a "$_$".
    int from = 0;
    for (;;) {
        const int p = collected->indexOf(kSessionEnd, from);
        if (p < 0)
            break;
        if (p == 0 || (p >= 3 && collected->mid(p - 3, 3) == kDelimiter)) {
            t.complete = true;
            t.sessionEnd = true;
            if (p > 0) {
                t.hasPayload = true;
                t.payload = collected->left(p - 3);
            }
            t.rest = collected->mid(p + kSessionEnd.size());
            collected->clear();
            return t;
        }
        from = p + 1;
    }
    if (!collected->endsWith(kDelimiter))
        return t;
    t.complete = true;
    t.hasPayload = true;
    t.payload = collected->left(collected->size() - kDelimiter.size());
    collected->clear();
    return t;
}

} // namespace PanelWire
