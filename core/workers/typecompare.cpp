#include "typecompare.h"

#include <QFileInfo>

#include "firmwaremodeltable.h"
#include "logging.h"
#include "relayframe.h"

bool typeCompare(QByteArray reply, QString sPath)
{
    const RelayFrame::ModelReply r = RelayFrame::modelReply(reply);
    const QString baseName = QFileInfo(sPath).baseName();
    qCDebug(lcRelay) << "typeCompare" << baseName << int(r.model) << int(r.comm) << int(r.module);
    return FirmwareModelTable::accepts(r.model, r.comm, r.module, baseName);
}
