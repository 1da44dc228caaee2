#include "transfertexts.h"

#include <QCoreApplication>

namespace TransferTexts {

namespace {

using Outcome = RelayLink::Outcome;

struct Row
{
    Outcome outcome;
    const char *project;
    const char *firmware;
};

// An outcome without a row (Done, ShortWrites, Stopped) is not reported.
const Row kTable[] = {
    {Outcome::AnnounceNotSent, QT_TR_NOOP("发送%1命令超时"), QT_TR_NOOP("写入底层信息错误")},
    {Outcome::AnnounceRefused, QT_TR_NOOP("发送%1命令失败"), QT_TR_NOOP("写入底层信息错误")},
    {Outcome::ChecksumErrors, QT_TR_NOOP("%1写入校验错误"), QT_TR_NOOP("写入底层校验错误")},
    {Outcome::NoAcknowledgement, QT_TR_NOOP("%1写入超时"), QT_TR_NOOP("写入底层超时")},
    {Outcome::LinkLost, QT_TR_NOOP("%1写入失败:连接已断开"), QT_TR_NOOP("写入底层失败:连接已断开")},
    {Outcome::ReadFailed, QT_TR_NOOP("打开%1文件失败"), QT_TR_NOOP("底层文件不存在或打开失败")},
    {Outcome::EndRefused, QT_TR_NOOP("%1写入结束命令错误"), QT_TR_NOOP("写入底层结束命令超时")},
};

} // namespace

QString text(Download download, RelayLink::Outcome outcome, const QString &name)
{
    for (const Row &row : kTable) {
        if (row.outcome != outcome)
            continue;
        const QString text = QCoreApplication::translate(
            "TransferTexts", download == Download::Project ? row.project : row.firmware);
        return download == Download::Project ? text.arg(name) : text;
    }
    return QString();
}

} // namespace TransferTexts
