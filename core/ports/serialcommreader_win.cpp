// The port list on Windows: the values of the registry key SERIALCOMM.
#include "serialcommreader.h"

#include <QSettings>

#include <windows.h>

#include "logging.h"
#include "serialcommname.h"

// The reader's own buffers for the value name and data of one registry value.
struct SerialCommReader::State
{
    wchar_t valueName[256] = {};
    unsigned char valueData[256] = {};
};

SerialCommReader::SerialCommReader() : m_state(new State) {}

SerialCommReader::~SerialCommReader() = default;

QString SerialCommReader::readEntry(int index, const QString &kind, bool *listOpened)
{
    *listOpened = true;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key)
        != ERROR_SUCCESS) {
        *listOpened = false;
        return noKey();
    }

    State &s = *m_state;
    QString result = noKey();
    DWORD nameLength = 256;
    DWORD valueType = 0;
    DWORD dataLength = 256;
    const LONG rc = index < 0 ? ERROR_NO_MORE_ITEMS
                              : RegEnumValueW(key, static_cast<DWORD>(index), s.valueName,
                                              &nameLength, nullptr, &valueType, s.valueData,
                                              &dataLength);
    if (rc == ERROR_SUCCESS) {
        const QString name = SerialCommName::fromValueData(
            s.valueData, static_cast<int>(qMin<unsigned long>(dataLength, sizeof s.valueData)));
        if (kind == QLatin1String("value"))
            result = name;
    } else {
        qCDebug(lcPorts) << "SerialCommReader::readEntry" << index << rc;
    }
    RegCloseKey(key);
    return result;
}

int SerialCommReader::entryCount()
{
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"),
                  QSettings::NativeFormat);
    return key.allKeys().count();
}
