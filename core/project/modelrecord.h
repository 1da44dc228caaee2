#ifndef MODELRECORD_H
#define MODELRECORD_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The model record at the start of a project's modelData.bin: what the project was
// compiled for (model, communication type, module, project version) and which optional
// files it brings (drivers, start-up screen, font library).
//
// Layout (174 bytes, integers little-endian):
//   0  u16 model code          2  u8 communication type (1 4G, 2 WIFI)
//   3  u8  module code         4  u16 project version
//   6  u8  COM1 driver flag    7  u8 COM2 driver flag      8 u8 start-up screen flag
//   9  64  font library file name, zero-terminated UTF-8
//   73 50  COM1 driver file name, zero-terminated UTF-8
//   123 51 COM2 driver file name, zero-terminated UTF-8
class ModelRecord
{
public:
    static constexpr int kSize = 174;

    // Reads the record from the start of data. A record shorter than 174 bytes is
    // refused (false, *out untouched); bytes after the record are ignored. Each name
    // ends at its first zero byte or at the end of its field, whichever comes first.
    static bool parse(const QByteArray &data, ModelRecord *out);

    // A name from the record may be used only when it names a file directly inside
    // the unpack directory: not empty, no '/', '\\' or ':', not "." or "..".
    static bool isUsableFileName(const QString &name);

    // The panel reports its model code in one byte, which is taken as signed and
    // widened to 16 bits before the comparison (0xAE matches 0xFFAE, not 0x00AE).
    bool modelMatches(uchar replyModel) const;
    // The panel's 32-bit version against the record's 16-bit one, widened.
    bool versionMatches(quint32 panelVersion) const;

    quint16 model = 0;
    uchar comm = 0;
    uchar module = 0;
    quint16 version = 0;
    bool com1Driver = false;
    bool com2Driver = false;
    bool startupScreen = false;
    QString fontName;
    QString com1Name;
    QString com2Name;
};

#endif // MODELRECORD_H
