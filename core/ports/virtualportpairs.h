#ifndef VIRTUALPORTPAIRS_H
#define VIRTUALPORTPAIRS_H

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>
#include <QStringList>

#include <functional>

#include "serialcommreader.h"

class QLibrary;
class QSerialPort;

// The virtual serial port pairs COMn/PENTn: COMn is the user side, opened by the PLC
// programming software; PENTn the tool side, opened by the pass-through worker. A port
// COMn counts as one of this program's own when the port list holds both COMn and
// PENTn. The pairs are created and removed through the pair driver's control library
// (CreatePair, DeletePair).
//
// Every message goes to the sink given at construction: the pass-through dialog shows
// it on its status label, the worker emits it as information(text, false). Each owner
// keeps its own object, so the reading buffers are never shared between threads.
class VirtualPortPairs
{
    Q_DECLARE_TR_FUNCTIONS(VirtualPortPairs)
public:
    using MessageSink = std::function<void(const QString &)>;

    explicit VirtualPortPairs(MessageSink sink);

    VirtualPortPairs(const VirtualPortPairs &) = delete;
    VirtualPortPairs &operator=(const VirtualPortPairs &) = delete;

    // The port name of entry `index` of the port list, or "nokey". `kind` is "value".
    QString readSerialCommEntry(int index, const QString &kind);
    // All port names now listed ("nokey" for an entry that cannot be read).
    QStringList serialCommPortNames();

    // The dialog's ownership test for the port at `comboIndex` (number comboIndex + 1),
    // with its messages.
    bool checkPortPair(int comboIndex);
    // The worker's ownership test for the port at `portIndex`, without messages.
    bool portPairExists(int portIndex);

    // Makes sure the pair numbered portIndex + 1 exists (creating it through the
    // library's CreatePair when it is not listed, then waiting up to 5 s for it to be
    // listed) and opens its tool side read-write on `port`, which already carries the
    // line settings. Runs on the worker thread and blocks it while waiting.
    bool createPortPairAndOpen(QSerialPort *port, int portIndex, QLibrary &library);

    // Deletes the pair of the port at `comboIndex` through the library's DeletePair.
    // The sink is cleared first; it stays empty when the pair was removed.
    void deletePortPair(int comboIndex);
    // The same with the library taken from `libraryFileName`.
    void deletePortPair(int comboIndex, const QString &libraryFileName);

    static QString comName(int n);
    static QString pentName(int n);
    static QString toolSideDevicePath(int n);

    // Gives `library` the file name of the pair driver (without loading it).
    static void prepareLibrary(QLibrary &library);

    // A serial device that disappears makes QSerialPort report ReadError or
    // ResourceError again and again while it stays open. The returned connection closes
    // `port` at the first such error and then calls `onLost` once for that opening.
    // QSerialPort also reports a write to a full pty (EAGAIN) as ResourceError: while the
    // device is still there, that error is cleared and the port goes on (its bytes wait
    // to be written until the device takes them).
    static QMetaObject::Connection closeOnDeviceLoss(QSerialPort *port,
                                                     std::function<void()> onLost);

private:
    void report(const QString &text);

    MessageSink m_sink;
    SerialCommReader m_reader;
};

#endif // VIRTUALPORTPAIRS_H
