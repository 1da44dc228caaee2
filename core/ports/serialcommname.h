#ifndef SERIALCOMMNAME_H
#define SERIALCOMMNAME_H

#include <QByteArray>
#include <QString>

// The port name carried as the data of one SERIALCOMM registry value.
//
// The data is a UTF-16 string such as "COM3" with its terminating zero. The name is
// built byte by byte: every zero byte is skipped, every other byte becomes one UTF-16
// unit, the byte read as a signed 8-bit value widened to 16 bits. The ASCII bytes of a
// port name therefore stay as they are.
namespace SerialCommName {

QString fromValueData(const unsigned char *data, int length);
QString fromValueData(const QByteArray &data);

} // namespace SerialCommName

#endif // SERIALCOMMNAME_H
