#include "panelwire.h"

#include <cstring>

namespace PanelWire {

namespace {
// Where needle is found in buffer at or after from; -1 when it is not. The buffer is
// looked through for the needle's first '$' (its first byte when it has none) with a
// word-wide search, and the needle compared only there: a stream's messages are looked
// through once per read.
int find(const QByteArray &buffer, const QByteArray &needle, int from)
{
    const int size = buffer.size();
    const int n = needle.size();
    if (from < 0 || n == 0 || from + n > size)
        return -1;
    const int k = qMax(0, needle.indexOf('$'));
    const char *data = buffer.constData();
    const char *last = data + size - n + k;   // the last place the needle's '$' can be
    for (const char *p = data + from + k; p <= last;) {
        const void *hit = std::memchr(p, needle.at(k), size_t(last - p + 1));
        if (!hit)
            return -1;
        const char *start = static_cast<const char *>(hit) - k;
        if (std::memcmp(start, needle.constData(), size_t(n)) == 0)
            return int(start - data);
        p = static_cast<const char *>(hit) + 1;
    }
    return -1;
}
} // namespace

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
    return find(buffer, kNextSession, 0);
}

PassthroughTake takePassthrough(QByteArray *collected)
{
    PassthroughTake t;
    // An end note with the next session behind it inside an unfinished message: the
    // desktop left in the middle of that message, which is lost.
    const int next = nextSessionAt(*collected);
    const bool cut = next > 0 && !(next >= 3 && collected->mid(next - 3, 3) == kDelimiter);
    const int end = cut ? next : collected->size();

    int from = 0;
    for (int at = find(*collected, kDelimiter, 0); at >= 0 && at + kDelimiter.size() <= end;
         at = find(*collected, kDelimiter, from)) {
        t.complete = true;
        const int after = at + kDelimiter.size();
        if (after - from == kSessionEnd.size() && collected->mid(from, after - from) == kSessionEnd) {
            t.sessionEnd = true;
            t.rest = collected->mid(after);
            collected->clear();
            return t;
        }
        if (at > from) {
            t.hasPayload = true;
            t.payload.append(collected->constData() + from, at - from);
        }
        from = after;
    }
    if (cut) {
        t.sessionEnd = true;
        t.rest = collected->mid(next + kSessionEnd.size());
        collected->clear();
        return t;
    }
    collected->remove(0, from);
    return t;
}

} // namespace PanelWire
