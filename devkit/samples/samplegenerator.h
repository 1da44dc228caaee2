#ifndef SAMPLEGENERATOR_H
#define SAMPLEGENERATOR_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Writes the lab's sample files: one firmware image per firmware model, and
// compile.zip project variants for the sample panel (model 70, WIFI, module 2,
// project version 0x0102). Contents are pseudo-random but fixed, so every build
// produces the same bytes.
class SampleGenerator
{
public:
    struct Firmware
    {
        QString baseName;
        int model;
        int comm;
        int module;
    };

    struct ProjectFile
    {
        QString name;   // file name inside the archive
        int code;       // the file's code on the wire
        bool optional;
    };

    struct Record
    {
        quint16 model = 70;
        quint8 comm = 2;
        quint8 module = 2;
        quint16 version = 0x0102;
        bool com1 = false;
        bool com2 = false;
        bool logo = false;
        QString font;
        QString com1Driver;
        QString com2Driver;
    };

    static QList<Firmware> firmwareTable();
    static QList<ProjectFile> projectFiles();
    static QStringList variants();

    // The 174-byte model record of modelData.bin.
    static QByteArray modelRecord(const Record &record);
    // Deterministic bytes; with markers, "$_$" is written at a few places.
    static QByteArray pseudoRandom(quint32 seed, int size, bool markers);

    explicit SampleGenerator(const QString &outDir);
    bool generate(QString *error);
    QStringList written() const { return m_written; }

private:
    bool writeFirmware(QString *error);
    bool writeProject(const QString &variant, QString *error);
    bool writeFile(const QString &path, const QByteArray &data, QString *error);
    bool writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &entries, QString *error);

    QString m_outDir;
    QStringList m_written;
};

#endif // SAMPLEGENERATOR_H
