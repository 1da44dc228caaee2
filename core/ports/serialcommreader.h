#ifndef SERIALCOMMREADER_H
#define SERIALCOMMREADER_H

#include <QString>

#include <memory>

// Reads the list of serial ports by index, the way the operating system keeps it.
//
// Windows: the values under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, one port
// name as the data of each value; the key is opened anew by every read and closed at
// its end, and the reads go through this object's own buffers.
// Linux: the sorted list of the names COMn/PENTn in the pair directory whose links
// lead to a live pty, followed by the serial devices /dev/ttyS*, /dev/ttyUSB*,
// /dev/ttyACM* by base name; the count and the reads of entries 0, 1, 2, ... that
// follow it in turn share one look at the list, every other read takes it anew.
class SerialCommReader
{
public:
    SerialCommReader();
    ~SerialCommReader();
    SerialCommReader(const SerialCommReader &) = delete;
    SerialCommReader &operator=(const SerialCommReader &) = delete;

    // The name held by entry `index`, or "nokey" when there is none or it cannot be
    // read. *listOpened is false when the list itself cannot be opened.
    QString readEntry(int index, const QString &kind, bool *listOpened);

    // The number of entries now listed; 0 when the list cannot be read.
    int entryCount();

    static QString noKey() { return QStringLiteral("nokey"); }

private:
    // What a reader keeps between reads, laid out by the platform's source file
    // (serialcommreader_linux.cpp, serialcommreader_win.cpp): every reader has its own.
    struct State;
    std::unique_ptr<State> m_state;
};

#endif // SERIALCOMMREADER_H
