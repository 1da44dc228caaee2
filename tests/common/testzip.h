#ifndef TESTZIP_H
#define TESTZIP_H

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

// Zip archives for the tests, written with the zip library.
namespace TestZip {

// One entry; externalAttr carries the Unix mode in its upper 16 bits (0: none).
struct Entry
{
    QString name;
    QByteArray data;
    quint32 externalAttr = 0;
};

// The archive's bytes, entries in the given order, deflated at `level` (-1: default).
// Empty when the zip library refuses.
QByteArray makeZip(const QList<Entry> &entries, int level = -1);

// The archive written to a file; false when the zip library reports an error.
bool writeZip(const QString &path, const QList<Entry> &entries);

// The archive with every entry's uncompressed size, in its local header and in the
// directory, replaced by size: an archive that lies about what it unpacks to.
QByteArray declareSizes(QByteArray zip, quint32 size);

// A file of `count` entries, each `size` zero bytes, deflated fast and written piece by
// piece (large archives that are small on disk).
bool writeZeros(const QString &path, int count, qint64 size);

} // namespace TestZip

Q_DECLARE_METATYPE(QList<TestZip::Entry>)

#endif // TESTZIP_H
