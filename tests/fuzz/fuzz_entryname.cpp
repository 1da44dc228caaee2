// The entry name check of the confined unpacking. An accepted name must stay inside
// the unpack directory, with "\" read as a separator as on Windows. The first byte
// chooses how the name bytes are decoded (zip names are UTF-8 or code page bytes).
#include <QDir>

#include "fuzzsupport.h"
#include "safeunzip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const char *p = reinterpret_cast<const char *>(data + 1);
    const int n = int(size - 1);
    const QString name = (data[0] & 1) ? QString::fromLatin1(p, n) : QString::fromUtf8(p, n);
    if (!SafeUnzip::isSafeEntryName(name))
        return 0;

    const QString dir = QStringLiteral("/srv/app/target");
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString clean = QDir::cleanPath(dir + QLatin1Char('/') + path);
    FUZZ_CHECK(clean == dir || clean.startsWith(dir + QLatin1Char('/')));
    // No drive or stream colon, no control character, nothing Windows trims to "..".
    FUZZ_CHECK(!name.contains(QLatin1Char(':')));
    for (const QString &part : path.split(QLatin1Char('/'))) {
        QString trimmed = part;
        while (trimmed.endsWith(QLatin1Char('.')) || trimmed.endsWith(QLatin1Char(' ')))
            trimmed.chop(1);
        FUZZ_CHECK(part == QLatin1String(".") || part.isEmpty() || !trimmed.isEmpty());
    }
    return 0;
}
