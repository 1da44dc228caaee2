// The port list on Linux: the pair directory's live pairs and the serial devices.
#include "serialcommreader.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "portplatform.h"

namespace {

// Unix98 pty slaves (/dev/pts/N) have the majors 136 to 143.
bool isLivePty(const QByteArray &path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned int maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;
}

// A pair whose recorded socat has ended (or is a zombie) is gone even when its pty
// numbers have been reused by somebody else in the meantime.
bool pairProcessGone(const QString &dir, const QString &number)
{
    QFile pidFile(dir + QStringLiteral("/COM") + number + QStringLiteral(".pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const qint64 pid = pidFile.readAll().trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return true;
    const char state = line.at(close + 2);
    return state == 'Z' || state == 'X';
}

QStringList currentPortNames(bool *readable)
{
    QStringList names;
    const QString dir = PortPlatform::pairDirectory();
    DIR *d = dir.isEmpty() ? nullptr : ::opendir(QFile::encodeName(dir).constData());
    if (!d) {
        *readable = false;
        return names;
    }
    *readable = true;
    static const QRegularExpression pairName(QStringLiteral("^(?:COM|PENT)([1-9][0-9]*)$"));
    while (struct dirent *entry = ::readdir(d)) {
        const QString name = QFile::decodeName(entry->d_name);
        const QRegularExpressionMatch m = pairName.match(name);
        if (!m.hasMatch())
            continue;
        if (!isLivePty(QFile::encodeName(dir + QLatin1Char('/') + name)))
            continue;
        if (pairProcessGone(dir, m.captured(1)))
            continue;
        names << name;
    }
    ::closedir(d);

    names << QDir(QStringLiteral("/dev"))
                 .entryList({QStringLiteral("ttyS*"), QStringLiteral("ttyUSB*"),
                             QStringLiteral("ttyACM*")},
                            QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

struct SerialCommReader::State
{
    int index = 0;             // the entry read last; -1 right after the count
    bool listTaken = false;    // names holds the list of the enumeration under way
    bool listReadable = false;
    QStringList names;
};

SerialCommReader::SerialCommReader() : m_state(new State) {}

SerialCommReader::~SerialCommReader() = default;

// Taking the list looks at every link in the pair directory. An enumeration (the
// count, then the entries 0, 1, 2, ... in turn) takes it once instead of once per
// entry, which made listing n ports cost n times a full scan; any other read, and a
// read past the end, takes it anew.
QString SerialCommReader::readEntry(int index, const QString &kind, bool *listOpened)
{
    State &s = *m_state;
    if (!s.listTaken || index != s.index + 1) {
        s.names = currentPortNames(&s.listReadable);
        s.listTaken = true;
    }
    s.index = index;
    *listOpened = s.listReadable;
    if (!s.listReadable || index < 0 || index >= s.names.size()) {
        s.listTaken = false;
        return noKey();
    }
    return kind == QLatin1String("value") ? s.names.at(index) : noKey();
}

int SerialCommReader::entryCount()
{
    State &s = *m_state;
    s.names = currentPortNames(&s.listReadable);
    s.listTaken = true;
    s.index = -1;
    return s.listReadable ? s.names.size() : 0;
}
