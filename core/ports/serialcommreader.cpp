#include "serialcommreader.h"

#include <QDebug>

#ifdef Q_OS_WIN
#include <QSettings>

#include "serialcommname.h"

#include <windows.h>
#else
#include "portplatform.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

#ifdef Q_OS_WIN

SerialCommReader::SerialCommReader()
    : m_key(nullptr), m_valueName{}, m_valueData{}, m_nameLength(0), m_valueType(0),
      m_dataLength(0), m_index(0)
{
}

QString SerialCommReader::readEntry(int index, const QString &kind, bool *listOpened)
{
    *listOpened = true;
    m_index = static_cast<unsigned long>(index);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key)
        != ERROR_SUCCESS) {
        *listOpened = false;
        return noKey();
    }
    m_key = key;

    QString result = noKey();
    DWORD nameLength = 256;
    DWORD valueType = 0;
    DWORD dataLength = 256;
    const LONG rc = index < 0 ? ERROR_NO_MORE_ITEMS
                              : RegEnumValueW(m_key, static_cast<DWORD>(m_index), m_valueName,
                                              &nameLength, nullptr, &valueType, m_valueData,
                                              &dataLength);
    m_nameLength = nameLength;
    m_valueType = valueType;
    m_dataLength = dataLength;
    if (rc == ERROR_SUCCESS) {
        const QString name = SerialCommName::fromValueData(
            m_valueData, static_cast<int>(qMin<unsigned long>(m_dataLength, sizeof m_valueData)));
        if (kind == QLatin1String("value"))
            result = name;
    } else {
        qDebug() << "SerialCommReader::readEntry" << index << rc;
    }
    RegCloseKey(m_key);
    m_key = nullptr;
    return result;
}

int SerialCommReader::entryCount()
{
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"),
                  QSettings::NativeFormat);
    return key.allKeys().count();
}

#else

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

SerialCommReader::SerialCommReader()
    : m_index(0), m_listTaken(false), m_listReadable(false)
{
}

// Taking the list looks at every link in the pair directory. An enumeration (the
// count, then the entries 0, 1, 2, ... in turn) takes it once instead of once per
// entry, which made listing n ports cost n times a full scan; any other read, and a
// read past the end, takes it anew.
QString SerialCommReader::readEntry(int index, const QString &kind, bool *listOpened)
{
    if (!m_listTaken || index != m_index + 1) {
        m_names = currentPortNames(&m_listReadable);
        m_listTaken = true;
    }
    m_index = index;
    *listOpened = m_listReadable;
    if (!m_listReadable || index < 0 || index >= m_names.size()) {
        m_listTaken = false;
        return noKey();
    }
    return kind == QLatin1String("value") ? m_names.at(index) : noKey();
}

int SerialCommReader::entryCount()
{
    m_names = currentPortNames(&m_listReadable);
    m_listTaken = true;
    m_index = -1;
    return m_listReadable ? m_names.size() : 0;
}

#endif
