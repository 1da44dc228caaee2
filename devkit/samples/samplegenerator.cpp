#include "samplegenerator.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

namespace {
const char kCom1Driver[] = "ModbusRTU_Master.drv";
const char kCom2Driver[] = "ModbusRTU_Slave.drv";
const char kFont[] = "HZK16_GB2312.fnt";

void putU16(QByteArray &b, int offset, quint16 v)
{
    b[offset] = char(v & 0xff);
    b[offset + 1] = char(v >> 8);
}

void putName(QByteArray &b, int offset, int field, const QString &name)
{
    const QByteArray utf8 = name.toUtf8().left(field - 1);   // always zero-terminated
    for (int i = 0; i < utf8.size(); ++i)
        b[offset + i] = utf8.at(i);
}
} // namespace

QList<SampleGenerator::Firmware> SampleGenerator::firmwareTable()
{
    return {
        {QStringLiteral("PRV052K118-E600X600N_WIFI01"), 46, 2, 1},
        {QStringLiteral("PRV052K118-E600X600N_WIFI02"), 46, 2, 2},
        {QStringLiteral("PRV052K118-E600X600N_WIFI03"), 46, 2, 3},
        {QStringLiteral("PLN050K01_4G01"), 60, 1, 1},
        {QStringLiteral("PLN050K01_WIFI01"), 60, 2, 1},
        {QStringLiteral("PLN050K01_4G02"), 60, 1, 2},
        {QStringLiteral("PLN050K01_WIFI02"), 60, 2, 2},
        {QStringLiteral("PLN080K01_4G01"), 70, 1, 1},
        {QStringLiteral("PLN080K01_WIFI01"), 70, 2, 1},
        {QStringLiteral("PLN080K01_4G02"), 70, 1, 2},
        {QStringLiteral("PLN080K01_WIFI02"), 70, 2, 2},
        {QStringLiteral("PLN120K01_4G01"), 90, 1, 1},
        {QStringLiteral("PLN120K01_WIFI01"), 90, 2, 1},
        {QStringLiteral("PLN120K01_4G02"), 90, 1, 2},
        {QStringLiteral("PLN120K01_WIFI02"), 90, 2, 2},
    };
}

QList<SampleGenerator::ProjectFile> SampleGenerator::projectFiles()
{
    return {
        {QStringLiteral("SysPara.dat"), 10, false},      {QStringLiteral("ControlPara.dat"), 11, false},
        {QStringLiteral("LogoPixel.dat"), 31, false},    {QStringLiteral("SheetPara.dat"), 12, false},
        {QStringLiteral("MarcoVar.dat"), 54, true},      {QStringLiteral("MarcoRun.dat"), 29, true},
        {QStringLiteral("AlarmPara.dat"), 14, false},    {QStringLiteral("AlarmMuti.dat"), 22, true},
        {QStringLiteral("SimMessage.dat"), 23, true},    {QStringLiteral("Collect.dat"), 21, true},
        {QStringLiteral("Recipe.dat"), 25, true},        {QStringLiteral("AddrPara.dat"), 18, true},
        {QStringLiteral("PicLenPara.dat"), 20, true},    {QStringLiteral("Curve.dat"), 13, true},
        {QStringLiteral("ControlPixel.dat"), 16, true},  {QStringLiteral("SheetPixel.dat"), 15, false},
    };
}

QStringList SampleGenerator::variants()
{
    return {QStringLiteral("full"), QStringLiteral("minimal"), QStringLiteral("logo-missing"), QStringLiteral("font")};
}

QByteArray SampleGenerator::modelRecord(const Record &r)
{
    QByteArray b(174, '\0');
    putU16(b, 0, r.model);
    b[2] = char(r.comm);
    b[3] = char(r.module);
    putU16(b, 4, r.version);
    b[6] = char(r.com1 ? 1 : 0);
    b[7] = char(r.com2 ? 1 : 0);
    b[8] = char(r.logo ? 1 : 0);
    putName(b, 9, 64, r.font);
    putName(b, 73, 50, r.com1Driver);
    putName(b, 123, 51, r.com2Driver);
    return b;
}

QByteArray SampleGenerator::pseudoRandom(quint32 seed, int size, bool markers)
{
    QByteArray b(size, '\0');
    quint32 x = seed * 2654435761u + 0x9e3779b9u;
    if (x == 0)
        x = 1;
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b[i] = char(x >> 24);
    }
    if (markers && size >= 16) {
        // "$_$" near the start, straddling the 8184-byte chunk border of the default
        // frame size, in the middle and at the very end.
        const int spots[] = {5, 8182, size / 2, size - 3};
        for (int at : spots) {
            if (at >= 0 && at + 3 <= size) {
                b[at] = '$';
                b[at + 1] = '_';
                b[at + 2] = '$';
            }
        }
    }
    return b;
}

SampleGenerator::SampleGenerator(const QString &outDir) : m_outDir(outDir) {}

bool SampleGenerator::generate(QString *error)
{
    if (!QDir().mkpath(m_outDir)) {
        *error = QStringLiteral("cannot create %1").arg(m_outDir);
        return false;
    }
    if (!writeFirmware(error))
        return false;
    for (const QString &v : variants()) {
        if (!writeProject(v, error))
            return false;
    }
    return true;
}

bool SampleGenerator::writeFirmware(QString *error)
{
    const QList<Firmware> table = firmwareTable();
    for (int row = 0; row < table.size(); ++row) {
        const int size = 200 * 1024 + (row * 14011) % (200 * 1024);
        const QByteArray image = pseudoRandom(quint32(1000 + row), size, row % 2 == 0);
        if (!writeFile(QDir(m_outDir).filePath(table.at(row).baseName + QStringLiteral(".bin")), image, error))
            return false;
    }
    return true;
}

bool SampleGenerator::writeProject(const QString &variant, QString *error)
{
    const bool full = variant == QLatin1String("full");
    Record record;
    record.com1 = full;
    record.com2 = full;
    record.logo = full || variant == QLatin1String("logo-missing");
    if (full || variant == QLatin1String("font"))
        record.font = QString::fromLatin1(kFont);
    if (full) {
        record.com1Driver = QString::fromLatin1(kCom1Driver);
        record.com2Driver = QString::fromLatin1(kCom2Driver);
    }

    QList<QPair<QString, QByteArray>> entries;
    entries.append({QStringLiteral("modelData.bin"), modelRecord(record)});
    quint32 seed = 1;
    for (const ProjectFile &f : projectFiles()) {
        ++seed;
        if (f.optional && !full)
            continue;
        if (f.code == 31 && !full)
            continue;   // the start-up screen only comes with the full project
        const int size = f.code == 15 || f.code == 16 ? 60000 + int(seed) * 101 : 700 + int(seed) * 37;
        entries.append({f.name, pseudoRandom(seed, size, seed % 2 == 0)});
    }
    if (full) {
        entries.append({QString::fromLatin1(kCom1Driver), pseudoRandom(40, 12000, true)});
        entries.append({QString::fromLatin1(kCom2Driver), pseudoRandom(41, 9000, false)});
    }
    if (full || variant == QLatin1String("font"))
        entries.append({QString::fromLatin1(kFont), pseudoRandom(42, 120000, true)});

    const QString dir = QDir(m_outDir).filePath(QStringLiteral("projects/") + variant);
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    return writeZip(QDir(dir).filePath(QStringLiteral("compile.zip")), entries, error);
}

bool SampleGenerator::writeFile(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    m_written << path;
    return true;
}

bool SampleGenerator::writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &entries, QString *error)
{
    QFile::remove(path);
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate)) {
        *error = QStringLiteral("cannot create %1 (%2)").arg(path).arg(zip.getZipError());
        return false;
    }
    const QDateTime stamp(QDate(2024, 1, 1), QTime(12, 0), Qt::UTC);
    for (const auto &e : entries) {
        QuaZipFile out(&zip);
        QuaZipNewInfo info(e.first);
        info.dateTime = stamp;
        if (!out.open(QIODevice::WriteOnly, info) || out.write(e.second) != e.second.size()) {
            *error = QStringLiteral("cannot add %1 to %2").arg(e.first, path);
            return false;
        }
        out.close();
    }
    zip.close();
    if (zip.getZipError() != 0) {
        *error = QStringLiteral("cannot finish %1 (%2)").arg(path).arg(zip.getZipError());
        return false;
    }
    m_written << path;
    return true;
}
