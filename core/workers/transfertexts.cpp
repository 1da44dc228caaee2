#include "transfertexts.h"

#include <QCoreApplication>

QString TransferTexts::text(TransferOutcome outcome, const QString &name) const
{
    const char *source = nullptr;
    switch (outcome) {
    case TransferOutcome::Done:
    case TransferOutcome::ShortWrites:
    case TransferOutcome::Stopped:
        return QString();
    case TransferOutcome::AnnounceNotSent: source = announceNotSent; break;
    case TransferOutcome::AnnounceRefused: source = announceRefused; break;
    case TransferOutcome::ChecksumErrors: source = checksumErrors; break;
    case TransferOutcome::NoAcknowledgement: source = noAcknowledgement; break;
    case TransferOutcome::LinkLost: source = linkLost; break;
    case TransferOutcome::ReadFailed: source = readFailed; break;
    case TransferOutcome::EndRefused: source = endRefused; break;
    }
    const QString text = QCoreApplication::translate("TransferTexts", source);
    return text.contains(QLatin1String("%1")) ? text.arg(name) : text;
}

const TransferTexts &TransferTexts::project()
{
    static const TransferTexts texts = {
        QT_TRANSLATE_NOOP("TransferTexts", "发送%1命令超时"),
        QT_TRANSLATE_NOOP("TransferTexts", "发送%1命令失败"),
        QT_TRANSLATE_NOOP("TransferTexts", "%1写入校验错误"),
        QT_TRANSLATE_NOOP("TransferTexts", "%1写入超时"),
        QT_TRANSLATE_NOOP("TransferTexts", "%1写入失败:连接已断开"),
        QT_TRANSLATE_NOOP("TransferTexts", "打开%1文件失败"),
        QT_TRANSLATE_NOOP("TransferTexts", "%1写入结束命令错误"),
    };
    return texts;
}

const TransferTexts &TransferTexts::firmware()
{
    static const TransferTexts texts = {
        QT_TRANSLATE_NOOP("TransferTexts", "写入底层信息错误"),
        QT_TRANSLATE_NOOP("TransferTexts", "写入底层信息错误"),
        QT_TRANSLATE_NOOP("TransferTexts", "写入底层校验错误"),
        QT_TRANSLATE_NOOP("TransferTexts", "写入底层超时"),
        QT_TRANSLATE_NOOP("TransferTexts", "写入底层失败:连接已断开"),
        QT_TRANSLATE_NOOP("TransferTexts", "底层文件不存在或打开失败"),
        QT_TRANSLATE_NOOP("TransferTexts", "写入底层结束命令超时"),
    };
    return texts;
}
