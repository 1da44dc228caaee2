#include "panelresult.h"

#include <QCoreApplication>

QString PanelResult::word(Result r)
{
    switch (r) {
    case Result::Succeeded:
        return QStringLiteral("succeeded");
    case Result::Failed:
        return QStringLiteral("failed");
    case Result::Stopped:
        return QStringLiteral("stopped");
    case Result::Offline:
        return QStringLiteral("offline");
    case Result::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

bool PanelResult::succeeded(UpdateOperation op, const QString &lastText)
{
    const auto text = [](const char *context, const char *source) {
        return QCoreApplication::translate(context, source);
    };
    switch (op) {
    case UpdateOperation::Firmware:
        return lastText == text("FirmwareDownload", "写入底层成功");
    case UpdateOperation::Project:
        return lastText == text("ProjectDownload", "组态升级完成");
    case UpdateOperation::CloudSync:
        return lastText == text("CloudSyncReply", "云组态工程已经是最新")
               || lastText == text("CloudSyncReply", "组态工程上传成功且已重新绑定");
    }
    return false;
}

QString PanelResult::infoText(int model, int comm, int module, qint64 version)
{
    QString commText = QString::number(comm);
    if (comm == 1)
        commText += QStringLiteral(" (4G)");
    else if (comm == 2)
        commText += QStringLiteral(" (WIFI)");
    return QStringLiteral("model %1, comm %2, module %3, version %4")
        .arg(model)
        .arg(commText)
        .arg(module)
        .arg(version < 0 ? QStringLiteral("-") : QString::number(version));
}
