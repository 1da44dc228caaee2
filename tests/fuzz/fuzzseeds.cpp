// Writes the seed corpus of every fuzz target: the literal cases of the unit tests
// (replies, records, reads, entry names) and small archives, one file per case.
//   fuzz-seeds <dir>     writes <dir>/<target>/<case>
#include <QBuffer>
#include <QDir>
#include <QFile>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

#include <cstdio>

namespace {

QString g_root;
bool g_ok = true;

void seed(const char *target, const QString &name, const QByteArray &bytes)
{
    const QString dir = g_root + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(dir);
    QFile f(dir + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "fuzz-seeds: cannot write %s\n", qPrintable(f.fileName()));
        g_ok = false;
    }
}

QByteArray hex(const char *h)
{
    return QByteArray::fromHex(h);
}

// The reads of a pass-through case as the fuzz target takes them: a limit byte, then
// a length byte before each read.
QByteArray reads(uchar limitByte, const QList<QByteArray> &list)
{
    QByteArray b(1, char(limitByte));
    for (const QByteArray &r : list) {
        b.append(char(uchar(qMin(r.size(), 255))));
        b.append(r.left(255));
    }
    return b;
}

QByteArray field(const QByteArray &bytes, int size)
{
    QByteArray f = bytes.left(size);
    f.append(QByteArray(size - f.size(), '\0'));
    return f;
}

QByteArray record(const char *headerHex, const QByteArray &font, const QByteArray &com1,
                  const QByteArray &com2)
{
    return hex(headerHex) + field(font, 64) + field(com1, 50) + field(com2, 51);
}

struct Entry
{
    QString name;
    QByteArray data;
    quint32 externalAttr;
};

QByteArray zip(const QList<Entry> &entries, int method = 8)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip z(&buffer);
    if (!z.open(QuaZip::mdCreate)) {
        g_ok = false;
        return QByteArray();
    }
    for (const Entry &e : entries) {
        QuaZipNewInfo info(e.name);
        info.externalAttr = e.externalAttr;
        QuaZipFile file(&z);
        if (!file.open(QIODevice::WriteOnly, info, nullptr, 0, method)) {
            g_ok = false;
            return QByteArray();
        }
        file.write(e.data);
        file.close();
    }
    z.close();
    return bytes;
}

constexpr quint32 kFile = 0100644u << 16;
constexpr quint32 kDir = (040755u << 16) | 0x10u;
constexpr quint32 kLink = 0120777u << 16;

void cloudReplies()
{
    const char *cases[] = {
        "", "<html>502 Bad Gateway</html>", "[{\"code\":200}]", "\"ok\"", "null",
        "{\"code\":200,\"data\":[", "{\"code\":200} x", "{}", "  {\"code\":401}\n",
        "{\"code\":200,\"msg\":\"ok\",\"data\":[]}", "{\"code\":200.0}", "{\"code\":2e2}",
        "{\"code\":-1}", "{\"code\":\"200\"}", "{\"code\":200.5}", "{\"code\":true}",
        "{\"code\":[200]}", "{\"Code\":200}", "{\"code\":1e300}", "{\"code\":-2147483649}",
        "{\"msg\":\"账号或密码错误\"}", "{\"msg\":5}",
        "{\"code\":200,\"data\":[{\"deviceImei\":\"860000000000102\",\"deviceStatus\":\"离线\"},"
        "{\"deviceImei\":\"860000000000101\",\"deviceStatus\":\"在线\"}]}",
        "{\"code\":200,\"data\":[{\"deviceImei\":\"1\",\"deviceStatus\":\"在线\"},{\"deviceImei\":\"2\"}]}",
        "{\"code\":200,\"data\":[7,\"860000000000101\",{\"deviceImei\":\"3\",\"deviceStatus\":\"在线\"}]}",
        "{\"code\":200,\"data\":[null,[1],{}]}",
        "{\"code\":200,\"data\":[{\"deviceImei\":860000000000101,\"deviceStatus\":1}]}",
        "{\"code\":200,\"data\":[{\"deviceImei\":\"5\",\"deviceStatus\":\"离线\",\"model\":46}]}",
        "{\"code\":200,\"data\":{\"deviceImei\":\"5\"}}", "{\"code\":200,\"data\":\"[]\"}",
        "[{\"deviceImei\":true,\"deviceStatus\":{\"a\":[]}},{\"deviceImei\":-0.0}]",
    };
    int i = 0;
    for (const char *c : cases)
        seed("fuzz_cloudreply", QString::number(i++), QByteArray(c));
}

void cloudSyncReplies()
{
    const char *bodies[] = {
        "{\"code\":200,\"msg\":\"ok\"}", "{\"code\":200.0}", "{\"code\":401,\"msg\":\"x\"}",
        "{\"code\":500,\"msg\":\"需要上传\"}", "{\"code\":403,\"msg\":\"禁止\"}",
        "{\"code\":\"200\",\"msg\":\"m\"}", "{\"code\":0,\"msg\":\"zero\"}", "{\"code\":400}",
        "{\"code\":400,\"msg\":7}", "{\"code\":400,\"msg\":\"a%1b\"}", "{\"msg\":\"m\"}",
        "<html>busy</html>", "[{\"code\":200}]", "", "{\"code\":500.0}", "{\"code\":\"500\"}",
    };
    int i = 0;
    for (const char *b : bodies) {
        seed("fuzz_cloudsyncreply", QString::number(i++), QByteArray(1, '\0') + b);
        seed("fuzz_cloudsyncreply", QString::number(i++), QByteArray(1, '\x10') + b);
    }
    seed("fuzz_cloudsyncreply", QStringLiteral("timed-out"), QByteArray(1, '\x11'));
    seed("fuzz_cloudsyncreply", QStringLiteral("interrupted"), QByteArray("\x02{\"code\":500}"));
}

void modelRecords()
{
    seed("fuzz_modelrecord", QStringLiteral("little-endian"),
         record("3412" "02" "03" "0201" "01" "00" "01", "hz.bin", "m.drv", "f.drv") + hex("01ae0000 0102"));
    seed("fuzz_modelrecord", QStringLiteral("high-model"),
         record("aeff" "01" "01" "ffff" "00" "80" "ff", "", "", "") + hex("00ae0000ffff"));
    seed("fuzz_modelrecord", QStringLiteral("zero-ends-names"),
         record("4600" "02" "02" "0100" "01" "01" "00", QByteArray("ab\0cd", 5),
                QByteArray("x\0y", 3), QByteArray("\0z", 2)) + hex("014600000001"));
    seed("fuzz_modelrecord", QStringLiteral("full-fields"),
         record("5a00" "01" "01" "0000" "01" "01" "01", QByteArray(64, 'F'), QByteArray(50, 'C'),
                QByteArray(51, 'D')) + hex("01"));
    seed("fuzz_modelrecord", QStringLiteral("utf8-names"),
         record("2e00" "02" "01" "0100" "01" "01" "00", "\xe5\xad\x97\xe5\xba\x93.bin",
                "\xe9\xa9\xb1\xe5\x8a\xa8.drv", "x.drv") + hex("01"));
    seed("fuzz_modelrecord", QStringLiteral("hostile-names"),
         record("3c00" "01" "01" "0100" "01" "01" "01", "../../etc/passwd", "..", "C:\\x.drv") + hex("01"));
    seed("fuzz_modelrecord", QStringLiteral("dot-names"),
         record("3c00" "01" "01" "0100" "01" "01" "01", ".", "sub/a.drv", "a:b") + hex("01"));
    seed("fuzz_modelrecord", QStringLiteral("short"), QByteArray(173, '\0'));
}

void relayReplies()
{
    const QByteArray cases[] = {
        "start$_$", QByteArray("start$_$\0junk", 13), QByteArray("start$_$\0", 9), "start$_$x",
        "start$_$start$_$", "START$_$", "sta", "start$_", QByteArray("\0start$_$", 9),
        "offline$_$", "busy$_$", "K", "Oops, whatever", "KM", "M", "MK", "k", "N",
        QByteArray("\0K", 2), hex("460202"), hex("aeff80"), hex("3c0102ff"), hex("5a01"),
        hex("2e"), hex("2e0203"), hex("00000102"), hex("01000102"), hex("a1b2c3d4"),
        hex("0000010299"), hex("000001"), QByteArray("\x46\x02\x02PLN080K01_WIFI02.bin"),
        QByteArray("\x3c\x01\x02/x/PLN050K01_4G02.tar.bin"),
    };
    int i = 0;
    for (const QByteArray &c : cases)
        seed("fuzz_relayreply", QString::number(i++), c);
}

void passthroughReads()
{
    const QByteArray hundred(100, 'p');
    const struct { const char *name; uchar limit; QList<QByteArray> reads; } cases[] = {
        {"one-frame", 0, {"AB$_$"}},
        {"split-frame", 0, {"A", "B$_$"}},
        {"split-delimiter", 0, {"AB$", "_$"}},
        {"two-frames", 0, {"AB$_$CD$_$"}},
        {"only-delimiter", 0, {"$_$"}},
        {"binary", 0, {hex("01000a0d") + "$_$"}},
        {"hundred-kept", 0, {hundred, "Z$_$"}},
        {"kept-waits", 0, {"AB$_$", "CD"}},
        {"disconnected", 0, {"disconnected,2$_$"}},
        {"disconnected-split", 0, {"discon", "nected,2$", "_$"}},
        {"disconnected-zero", 0, {QByteArray("disconnected,2$_$\0x$_$", 22)}},
        {"goes-on", 0, {"disconnected,2$_$", "AB$_$"}},
        {"other-case", 0, {"Disconnected,2$_$"}},
        {"data-before", 0, {"x", "disconnected,2$_$"}},
        {"disconnected-among", 0, {"AB$_$disconnected,2$_$CD$_$"}},
        {"disconnected-completed", 0, {"AB$_$disconnected", ",2$_$CD"}},
        {"delimiter-start-kept", 4, {"0123456789abcdefg$_", "$OK$_$"}},
        {"overflow", 4, {"0123456789", "0123456789", "OK$_$"}},
        {"at-limit", 4, {"0123456789abcdef", "$_$"}},
        {"over-limit-complete", 4, {"0123456789abcdefXY$_$"}},
        {"empty-read", 0, {""}},
        {"modbus", 0, {hex("01030000000a") + "$_$", hex("0103140000") , hex("0000") + "$_$"}},
    };
    for (const auto &c : cases)
        seed("fuzz_passthroughframing", QLatin1String(c.name), reads(c.limit, c.reads));
}

void entryNames()
{
    const char *names[] = {
        "a.txt", "sub/a.txt", "sub/", "./a.txt", "a..b/..c", "工程/画面1.bin", "", "../a.txt",
        "sub/../../a.txt", "sub/..", "/etc/passwd", "\\Windows\\x.dll", "..\\a.txt",
        "sub\\..\\..\\a.txt", "sub/..\\../a.txt", "C:/Windows/x.dll", "c:x.dll", "a.txt:hidden",
        ".../a.txt", "sub/.. /a.txt", "a\x01.txt", "sub/./../b", "//server/share",
    };
    int i = 0;
    for (const char *n : names) {
        seed("fuzz_entryname", QString::number(i++), QByteArray(1, '\0') + n);
        seed("fuzz_entryname", QString::number(i++), QByteArray(1, '\1') + n);
    }
}

void archives()
{
    seed("fuzz_unzip", QStringLiteral("plain"),
         zip({{"sub/", {}, kDir}, {"sub/a.txt", "AAA", kFile}, {"b.txt", "BB", kFile}}));
    seed("fuzz_unzip", QStringLiteral("stored"), zip({{"a.dat", "0123456789", kFile}}, 0));
    seed("fuzz_unzip", QStringLiteral("slip"), zip({{"first.txt", "1", kFile}, {"../escape.txt", "x", kFile}}));
    seed("fuzz_unzip", QStringLiteral("slip-deeper"), zip({{"a/../../escape.txt", "x", kFile}}));
    seed("fuzz_unzip", QStringLiteral("backslash"), zip({{"..\\escape.txt", "x", kFile}}));
    seed("fuzz_unzip", QStringLiteral("absolute"), zip({{"/tmp/escape.txt", "x", kFile}}));
    seed("fuzz_unzip", QStringLiteral("drive"), zip({{"C:/escape.txt", "x", kFile}}));
    seed("fuzz_unzip", QStringLiteral("symlink"),
         zip({{"link", "../out", kLink}, {"link/escape.txt", "x", kFile}}));
    seed("fuzz_unzip", QStringLiteral("project"),
         zip({{"modelData.bin", QByteArray(174, '\0'), kFile}, {"SysPara.dat", "sys", kFile},
              {"ControlPara.dat", "ctl", kFile}}));
    seed("fuzz_unzip", QStringLiteral("empty-archive"), zip({}));
    seed("fuzz_unzip", QStringLiteral("not-a-zip"), QByteArray("PK\x03\x04 not really"));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds <dir>\n");
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    cloudReplies();
    cloudSyncReplies();
    modelRecords();
    relayReplies();
    passthroughReads();
    entryNames();
    archives();
    return g_ok ? 0 : 1;
}
