#include <QtTest>

#include <QTemporaryDir>

#include "projectidentity.h"
#include "safeunzip.h"
#include "testfiles.h"
#include "testzip.h"

namespace {

using TestZip::Entry;
using TestZip::makeZip;

constexpr quint32 kRegularFile = 0100644u << 16;
constexpr quint32 kSymlink = 0120777u << 16;

QStringList entriesOf(const QString &dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(dir).relativeFilePath(it.next());
    names.sort();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(SafeUnzip::Status)

class TestSafeUnzip : public QObject
{
    Q_OBJECT
private slots:
    void entryName_data();
    void entryName();
    void symlinkAttributes_data();
    void symlinkAttributes();
    void unpacksFilesInEntryOrder();
    void clearsFolderFirst_data();
    void clearsFolderFirst();
    void refusesWholeArchive_data();
    void refusesWholeArchive();
    void limits_data();
    void limits();
    void unreadableArchive_data();
    void unreadableArchive();
    void identityFollowsContentsAndOrder();
};

void TestSafeUnzip::entryName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "a.txt" << true;
    QTest::newRow("subdirectory") << "sub/a.txt" << true;
    QTest::newRow("directory entry") << "sub/" << true;
    QTest::newRow("dot component") << "./a.txt" << true;
    QTest::newRow("dots inside a name") << "a..b/..c" << true;
    QTest::newRow("chinese") << "工程/画面1.bin" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("parent") << "../a.txt" << false;
    QTest::newRow("parent deeper") << "sub/../../a.txt" << false;
    QTest::newRow("parent at the end") << "sub/.." << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("backslash absolute") << "\\Windows\\x.dll" << false;
    QTest::newRow("backslash parent") << "..\\a.txt" << false;
    QTest::newRow("backslash parent deeper") << "sub\\..\\..\\a.txt" << false;
    QTest::newRow("mixed separators") << "sub/..\\../a.txt" << false;
    QTest::newRow("drive letter") << "C:/Windows/x.dll" << false;
    QTest::newRow("drive relative") << "c:x.dll" << false;
    QTest::newRow("stream") << "a.txt:hidden" << false;
    QTest::newRow("three dots") << ".../a.txt" << false;
    QTest::newRow("dots and space") << "sub/.. /a.txt" << false;
    QTest::newRow("control character") << QString("a\x01.txt") << false;
}

void TestSafeUnzip::entryName()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(SafeUnzip::isSafeEntryName(name), safe);
}

void TestSafeUnzip::symlinkAttributes_data()
{
    QTest::addColumn<quint32>("attr");
    QTest::addColumn<bool>("link");
    QTest::newRow("none") << 0u << false;
    QTest::newRow("regular file") << kRegularFile << false;
    QTest::newRow("directory with dos bit") << ((040755u << 16) | 0x10u) << false;
    QTest::newRow("socket shares a bit") << (0140644u << 16) << false;
    QTest::newRow("symlink") << kSymlink << true;
    QTest::newRow("symlink with dos bits") << ((0120755u << 16) | 0x20u) << true;
    QTest::newRow("link mode in the low half only") << 0120777u << false;
}

void TestSafeUnzip::symlinkAttributes()
{
    QFETCH(quint32, attr);
    QFETCH(bool, link);
    QCOMPARE(SafeUnzip::isSymlinkEntry(attr), link);
}

void TestSafeUnzip::unpacksFilesInEntryOrder()
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("target");
    const QByteArray zip = makeZip({{"sub/", {}, 040755u << 16},
                                    {"sub/a.txt", "AAA", kRegularFile},
                                    {"b.txt", "BB", kRegularFile}});
    const SafeUnzip::Result r = SafeUnzip::extractBytes(zip, dir);
    QCOMPARE(r.status, SafeUnzip::Status::Extracted);
    QCOMPARE(r.files, (QStringList{dir + "/sub/a.txt", dir + "/b.txt"}));
    QCOMPARE(TestFiles::readFile(dir + "/sub/a.txt"), QByteArray("AAA"));
    QCOMPARE(TestFiles::readFile(dir + "/b.txt"), QByteArray("BB"));
}

void TestSafeUnzip::clearsFolderFirst_data()
{
    // What lies in the unpack folder before; "@OUT@" stands for a folder beside it.
    QTest::addColumn<QString>("before");
    QTest::newRow("files") << "old.txt b.txt sub/old.txt";
    QTest::newRow("folder where the archive has a file") << "b.txt/ b.txt/inner.txt";
    QTest::newRow("link to a folder outside") << "lnk->@OUT@";
    QTest::newRow("link where the archive has a folder") << "sub->@OUT@";
    QTest::newRow("the folder itself a link") << ".->@OUT@";
    QTest::newRow("broken link") << "gone->@OUT@/missing";
}

void TestSafeUnzip::clearsFolderFirst()
{
    QFETCH(QString, before);
    QTemporaryDir tmp;
    const QString out = tmp.filePath("out");
    const QString dir = tmp.filePath("target");
    QVERIFY(TestFiles::writeFile(out + "/keep.txt", "outside"));
    QVERIFY(QDir().mkpath(dir));
    for (const QString &item : before.split(' ')) {
        if (item.contains("->")) {
            const QString link = QDir::cleanPath(dir + "/" + item.section("->", 0, 0));
            if (link == dir)
                QVERIFY(QDir(dir).removeRecursively());
            QVERIFY(QFile::link(item.section("->", 1).replace("@OUT@", out), link));
        } else if (item.endsWith('/')) {
            QVERIFY(QDir().mkpath(dir + "/" + item));
        } else {
            QVERIFY(TestFiles::writeFile(dir + "/" + item, "left from before"));
        }
    }

    const SafeUnzip::Result r = SafeUnzip::extractBytes(makeZip({{"b.txt", "BB"}, {"sub/a.txt", "A"}}), dir);
    QCOMPARE(r.status, SafeUnzip::Status::Extracted);
    QCOMPARE(r.files, (QStringList{dir + "/b.txt", dir + "/sub/a.txt"}));
    QVERIFY(!QFileInfo(dir).isSymLink());
    QCOMPARE(entriesOf(dir), (QStringList{"b.txt", "sub", "sub/a.txt"}));
    QCOMPARE(TestFiles::readFile(dir + "/b.txt"), QByteArray("BB"));
    // Links were removed, never followed.
    for (const QString &item : before.split(' '))
        QVERIFY(!QFileInfo(dir + "/" + item.section("->", 0, 0)).isSymLink());
    QCOMPARE(entriesOf(out), QStringList{"keep.txt"});
    QCOMPARE(TestFiles::readFile(out + "/keep.txt"), QByteArray("outside"));
}

void TestSafeUnzip::refusesWholeArchive_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<QString>("refused");
    // "@OUT@" stands for a directory beside the unpack directory.
    QTest::newRow("zip slip") << QList<Entry>{{"first.txt", "1"}, {"../escape.txt", "x"}}
                              << "../escape.txt";
    QTest::newRow("zip slip deeper") << QList<Entry>{{"first.txt", "1"}, {"a/../../escape.txt", "x"}}
                                     << "a/../../escape.txt";
    QTest::newRow("absolute") << QList<Entry>{{"first.txt", "1"}, {"@OUT@/escape.txt", "x"}}
                              << "@OUT@/escape.txt";
    QTest::newRow("backslash slip") << QList<Entry>{{"first.txt", "1"}, {"..\\escape.txt", "x"}}
                                    << "..\\escape.txt";
    QTest::newRow("drive") << QList<Entry>{{"first.txt", "1"}, {"C:/escape.txt", "x"}} << "C:/escape.txt";
    QTest::newRow("symlink then write through it")
        << QList<Entry>{{"first.txt", "1"}, {"link", "@OUT@", kSymlink}, {"link/escape.txt", "x"}}
        << "link";
    QTest::newRow("unsafe first") << QList<Entry>{{"../escape.txt", "x"}, {"first.txt", "1"}}
                                  << "../escape.txt";
}

void TestSafeUnzip::refusesWholeArchive()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(QString, refused);
    QTemporaryDir tmp;
    const QString out = tmp.filePath("out");
    const QString dir = tmp.filePath("work/target");
    QVERIFY(QDir().mkpath(out));
    QVERIFY(QDir().mkpath(dir));
    for (Entry &e : entries) {
        e.name.replace("@OUT@", out);
        e.data.replace("@OUT@", out.toUtf8());
    }
    refused.replace("@OUT@", out);

    const SafeUnzip::Result r = SafeUnzip::extractBytes(makeZip(entries), dir);
    QCOMPARE(r.status, SafeUnzip::Status::Refused);
    QCOMPARE(r.refusedEntry, refused);
    QVERIFY(r.files.isEmpty());
    QCOMPARE(entriesOf(dir), QStringList());                // nothing written, not even first.txt
    QCOMPARE(entriesOf(out), QStringList());                // nothing outside
    QCOMPARE(entriesOf(tmp.filePath("work")), QStringList{"target"});
}

void TestSafeUnzip::limits_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<int>("maxEntries");
    QTest::addColumn<SafeUnzip::Status>("status");

    const QByteArray mib(1 << 20, '\0');
    const QList<Entry> two{{"a.bin", mib}, {"b.bin", mib}};
    QTest::newRow("the default limits") << makeZip(two) << SafeUnzip::kMaxUnpackedBytes << SafeUnzip::kMaxEntries
                                        << SafeUnzip::Status::Extracted;
    QTest::newRow("exactly at the byte limit") << makeZip(two) << qint64(2 << 20) << 2 << SafeUnzip::Status::Extracted;
    QTest::newRow("one byte over") << makeZip(two) << qint64((2 << 20) - 1) << 2 << SafeUnzip::Status::TooLarge;
    QTest::newRow("one entry too many") << makeZip(two) << qint64(2 << 20) << 1 << SafeUnzip::Status::TooLarge;
    // A few MB declaring 3 x 2 GiB.
    QTest::newRow("declared sizes over the default limit")
        << TestZip::declareSizes(makeZip(two + QList<Entry>{{"c.bin", mib}}), 0x7fffffffu)
        << SafeUnzip::kMaxUnpackedBytes << SafeUnzip::kMaxEntries << SafeUnzip::Status::TooLarge;
    // Declared small, the data unpacks to more: never more than declared is written.
    QTest::newRow("declared sizes smaller than the data") << TestZip::declareSizes(makeZip(two), 1000)
        << qint64(4000) << 2 << SafeUnzip::Status::Unreadable;
}

void TestSafeUnzip::limits()
{
    QFETCH(QByteArray, archive);
    QFETCH(qint64, maxBytes);
    QFETCH(int, maxEntries);
    QFETCH(SafeUnzip::Status, status);
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("target");
    SafeUnzip::Options options;
    options.maxBytes = maxBytes;
    options.maxEntries = maxEntries;
    const SafeUnzip::Result r = SafeUnzip::extractBytes(archive, dir, options);
    QCOMPARE(r.status, status);
    if (status == SafeUnzip::Status::Extracted) {
        QCOMPARE(entriesOf(dir), (QStringList{"a.bin", "b.bin"}));
        QCOMPARE(QFileInfo(dir + "/b.bin").size(), qint64(1 << 20));
    } else {
        QVERIFY(r.files.isEmpty());
        QCOMPARE(entriesOf(dir), QStringList());   // a failed unpack leaves nothing
    }
}

void TestSafeUnzip::unreadableArchive_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::newRow("garbage with a zip signature") << QByteArray("PK\x03\x04garbage");
    QTest::newRow("not a zip") << QByteArray("hello");
    QTest::newRow("empty file") << QByteArray();
    const QByteArray whole = makeZip({{"a.txt", QByteArray(4000, 'a')}, {"b.txt", "b"}});
    QTest::newRow("cut in half") << whole.left(whole.size() / 2);
    QTest::newRow("no entries") << makeZip({});
}

void TestSafeUnzip::unreadableArchive()
{
    QFETCH(QByteArray, archive);
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("target");
    const SafeUnzip::Result r = SafeUnzip::extractBytes(archive, dir);
    QCOMPARE(r.status, SafeUnzip::Status::Unreadable);
    QVERIFY(r.files.isEmpty());
    QCOMPARE(entriesOf(dir), QStringList());

    const SafeUnzip::Result missing = SafeUnzip::extractFile(tmp.filePath("missing.zip"), dir);
    QCOMPARE(missing.status, SafeUnzip::Status::Unreadable);
}

void TestSafeUnzip::identityFollowsContentsAndOrder()
{
    QTemporaryDir tmp;
    auto identityOf = [&](const QByteArray &zip, const QString &name) {
        const SafeUnzip::Result r = SafeUnzip::extractBytes(zip, tmp.filePath(name));
        ProjectIdentity id;
        for (const QString &f : r.files)
            id.addContent(TestFiles::readFile(f));
        return id.result();
    };
    const QList<Entry> entries{{"dir/", {}}, {"dir/a.bin", "AAA"}, {"b.bin", "BB"}};
    const QByteArray stored = makeZip(entries, 0);
    const QByteArray deflated = makeZip(entries, 9);
    QVERIFY(stored != deflated);
    QCOMPARE(identityOf(stored, "one"), QString("9f3b32bbe20334f28d59d38adf81be89"));   // md5("AAABB")
    QCOMPARE(identityOf(deflated, "two"), QString("9f3b32bbe20334f28d59d38adf81be89"));
    const QByteArray reordered = makeZip({{"b.bin", "BB"}, {"dir/a.bin", "AAA"}});
    QCOMPARE(identityOf(reordered, "three"), QString("92c5eb05f34bd034a730f547c0c8ebbf")); // md5("BBAAA")
}

QTEST_GUILESS_MAIN(TestSafeUnzip)
#include "tst_safeunzip.moc"
