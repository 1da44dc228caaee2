// The panel's and the relay server's answers on the download link: go-ahead,
// acknowledgement, model reply and version reply, and the firmware name check that
// takes the model reply. The whole input is one read.
#include <QFileInfo>

#include "firmwaremodeltable.h"
#include "fuzzsupport.h"
#include "relayframe.h"
#include "typecompare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray read = FuzzSupport::rawBytes(data, size);

    // The go-ahead is "start$_$" as the whole read, or followed by a zero byte.
    if (RelayFrame::isGoAhead(read))
        FUZZ_CHECK(read.startsWith("start$_$") && (size == 8 || data[8] == 0));

    const RelayFrame::Ack ack = RelayFrame::classifyAck(read);
    FUZZ_CHECK(ack == RelayFrame::NotAccepted || ack == RelayFrame::Accepted
               || ack == RelayFrame::ChecksumError);
    if (ack == RelayFrame::Accepted)
        FUZZ_CHECK(size > 0 && (data[0] == 'K' || data[0] == 'O'));
    if (ack == RelayFrame::ChecksumError)
        FUZZ_CHECK(size > 0 && data[0] == 'M');

    const RelayFrame::ModelReply model = RelayFrame::modelReply(read);
    FUZZ_CHECK(model.model == (size > 0 ? data[0] : 0));
    FUZZ_CHECK(model.comm == (size > 1 ? data[1] : 0));
    FUZZ_CHECK(model.module == (size > 2 ? data[2] : 0));

    quint32 version = 0;
    const bool haveVersion = RelayFrame::versionReply(read, &version);
    FUZZ_CHECK(haveVersion == (size >= 4));

    // A firmware image named after a table row fits exactly the reply of that row.
    for (const FirmwareModelTable::Row &row : FirmwareModelTable::rows()) {
        const QString path = QStringLiteral("/images/") + QLatin1String(row.baseName)
                             + QStringLiteral(".bin");
        const bool fits = model.model == row.model && model.comm == row.comm
                          && model.module == row.module;
        FUZZ_CHECK(typeCompare(read, path) == fits);
    }
    // Any other name: the bytes after the reply taken as a file name.
    if (size > 3) {
        const QString name = QString::fromUtf8(read.constData() + 3, int(size) - 3);
        const bool ok = typeCompare(read, name);
        if (ok)
            FUZZ_CHECK(FirmwareModelTable::accepts(model.model, model.comm, model.module,
                                                   QFileInfo(name).baseName()));
    }
    return 0;
}
