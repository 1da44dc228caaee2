// The lab's sample generator: firmware images per model and compile.zip variants.
#include "labprocess.h"
#include "testfiles.h"

#include <JlCompress.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QStringList kFirmware = {
    "PRV052K118-E600X600N_WIFI01", "PRV052K118-E600X600N_WIFI02", "PRV052K118-E600X600N_WIFI03",
    "PLN050K01_4G01", "PLN050K01_WIFI01", "PLN050K01_4G02", "PLN050K01_WIFI02",
    "PLN080K01_4G01", "PLN080K01_WIFI01", "PLN080K01_4G02", "PLN080K01_WIFI02",
    "PLN120K01_4G01", "PLN120K01_WIFI01", "PLN120K01_4G02", "PLN120K01_WIFI02"};
const QStringList kMandatory = {"SysPara.dat", "ControlPara.dat", "SheetPara.dat", "AlarmPara.dat", "SheetPixel.dat"};
const QStringList kOptional = {"MarcoVar.dat", "MarcoRun.dat", "AlarmMuti.dat", "SimMessage.dat", "Collect.dat",
                               "Recipe.dat", "AddrPara.dat", "PicLenPara.dat", "Curve.dat", "ControlPixel.dat"};

QString zeroTerminated(const QByteArray &record, int offset, int field)
{
    const QByteArray f = record.mid(offset, field);
    const int end = f.indexOf('\0');
    return QString::fromUtf8(end < 0 ? f : f.left(end));
}

QMap<QString, QByteArray> treeHashes(const QString &dir)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.insert(QDir(dir).relativeFilePath(path),
                   QCryptographicHash::hash(TestFiles::readFile(path), QCryptographicHash::Sha256));
    }
    return out;
}
} // namespace

class TestLabSamples : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firmwareImages();
    void projects_data();
    void projects();
    void deterministic();
    void usage();

private:
    QTemporaryDir m_dir;
    QString m_out;
};

void TestLabSamples::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_out = m_dir.filePath("samples");
    QCOMPARE(QProcess::execute(LabProcess::programPath("lab-samples"), {m_out}), 0);
}

void TestLabSamples::firmwareImages()
{
    QStringList names = QDir(m_out).entryList({"*.bin"}, QDir::Files);
    QStringList expected;
    for (const QString &base : kFirmware)
        expected << base + ".bin";
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
    int withDelimiter = 0;
    QSet<QByteArray> distinct;
    for (const QString &name : names) {
        const QByteArray image = TestFiles::readFile(QDir(m_out).filePath(name));
        QVERIFY2(image.size() >= 200 * 1024 && image.size() <= 400 * 1024, qPrintable(name));
        if (image.contains("$_$"))
            ++withDelimiter;
        distinct.insert(QCryptographicHash::hash(image, QCryptographicHash::Sha256));
    }
    QVERIFY(withDelimiter >= 3);
    QCOMPARE(distinct.size(), names.size());
}

void TestLabSamples::projects_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<int>("com1");
    QTest::addColumn<int>("com2");
    QTest::addColumn<int>("logo");
    QTest::addColumn<bool>("logoFile");
    QTest::addColumn<bool>("fontFile");
    QTest::addColumn<bool>("optionalFiles");
    QTest::newRow("full") << "full" << 1 << 1 << 1 << true << true << true;
    QTest::newRow("minimal") << "minimal" << 0 << 0 << 0 << false << false << false;
    QTest::newRow("logo-missing") << "logo-missing" << 0 << 0 << 1 << false << false << false;
    QTest::newRow("font") << "font" << 0 << 0 << 0 << false << true << false;
}

void TestLabSamples::projects()
{
    QFETCH(QString, variant);
    QFETCH(int, com1);
    QFETCH(int, com2);
    QFETCH(int, logo);
    QFETCH(bool, logoFile);
    QFETCH(bool, fontFile);
    QFETCH(bool, optionalFiles);
    const QString zip = QDir(m_out).filePath("projects/" + variant + "/compile.zip");
    QVERIFY(QFile::exists(zip));
    const QStringList entries = JlCompress::getFileList(zip);
    const QString unpacked = m_dir.filePath("unpacked-" + variant);
    QVERIFY(!JlCompress::extractDir(zip, unpacked).isEmpty());

    const QByteArray record = TestFiles::readFile(unpacked + "/modelData.bin");
    QCOMPARE(record.size(), 174);
    // Panel 860000000000111: model 70 (u16 LE), WIFI, module 2, version 0x0102 (u16 LE).
    QCOMPARE(record.left(6), QByteArray::fromHex("460002020201"));
    QCOMPARE(int(record.at(6)), com1);
    QCOMPARE(int(record.at(7)), com2);
    QCOMPARE(int(record.at(8)), logo);
    const QString font = zeroTerminated(record, 9, 64);
    const QString driver1 = zeroTerminated(record, 73, 50);
    const QString driver2 = zeroTerminated(record, 123, 51);
    QCOMPARE(entries.contains(font), fontFile);
    QCOMPARE(!font.isEmpty(), fontFile);
    QCOMPARE(!driver1.isEmpty() && entries.contains(driver1), com1 != 0);
    QCOMPARE(!driver2.isEmpty() && entries.contains(driver2), com2 != 0);
    QVERIFY(driver1 != driver2 || driver1.isEmpty());
    QCOMPARE(entries.contains("LogoPixel.dat"), logoFile);
    for (const QString &f : kMandatory) {
        QVERIFY2(entries.contains(f), qPrintable(f));
        QVERIFY2(QFileInfo(unpacked + "/" + f).size() > 0, qPrintable(f));
    }
    for (const QString &f : kOptional)
        QVERIFY2(entries.contains(f) == optionalFiles, qPrintable(f));
    // Everything sits at the top level of the archive.
    for (const QString &e : entries)
        QVERIFY2(!e.contains('/'), qPrintable(e));
}

void TestLabSamples::deterministic()
{
    const QString again = m_dir.filePath("again");
    QCOMPARE(QProcess::execute(LabProcess::programPath("lab-samples"), {again}), 0);
    const auto first = treeHashes(m_out);
    QCOMPARE(first.size(), kFirmware.size() + 4);
    QCOMPARE(treeHashes(again), first);
}

void TestLabSamples::usage()
{
    QProcess p;
    p.start(LabProcess::programPath("lab-samples"), QStringList());
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardError().contains("usage"));
}

QTEST_GUILESS_MAIN(TestLabSamples)
#include "tst_labsamples.moc"
