#include "paneltransfer.h"

#include <QDebug>

using PanelWire::CommandFrame;

namespace {
const QByteArray kAck = QByteArrayLiteral("K");
const QByteArray kNak = QByteArrayLiteral("M");

QString replyName(const QByteArray &reply)
{
    return reply.isEmpty() ? QStringLiteral("silence") : QString::fromLatin1(reply);
}
} // namespace

PanelTransfer::PanelTransfer(const PanelSettings &settings)
    : m_settings(settings), m_planCursor(settings.framePlan.size(), 0)
{
}

void PanelTransfer::reset()
{
    m_buffer.clear();
    m_rest.clear();
    m_stopped = false;
    m_fileActive = false;
    m_data.clear();
    m_ended = false;
    m_sessionFrames = 0;
}

QByteArray PanelTransfer::takeRest()
{
    QByteArray r = m_rest;
    m_rest.clear();
    return r;
}

void PanelTransfer::addEvent(QList<PanelAction> *out, const QString &name, const QJsonObject &fields)
{
    PanelAction a;
    a.type = PanelAction::Event;
    a.name = name;
    a.fields = fields;
    out->append(a);
}

void PanelTransfer::addReply(QList<PanelAction> *out, const QByteArray &bytes, int delayMs)
{
    if (bytes.isEmpty())
        return;
    PanelAction a;
    a.type = PanelAction::Reply;
    a.bytes = bytes;
    a.delayMs = delayMs;
    out->append(a);
}

void PanelTransfer::answerQuery(QList<PanelAction> *out, const QString &event, const QString &fault,
                                const QByteArray &reply, const QByteArray *faultReply)
{
    const QByteArray sent = faultReply ? *faultReply : reply;
    const QString hex = QString::fromLatin1(sent.toHex());
    if (faultReply)
        addEvent(out, QStringLiteral("fault"), {{QStringLiteral("fault"), fault}, {QStringLiteral("reply"), hex}});
    addEvent(out, event, {{QStringLiteral("reply"), hex}});
    addReply(out, sent);
}

QList<PanelAction> PanelTransfer::feed(const QByteArray &bytes)
{
    QList<PanelAction> out;
    if (m_stopped)
        return out;
    m_buffer += bytes;
    for (;;) {
        const Step step = processOne(&out);
        if (step != Step::Consumed)
            break;
    }
    return out;
}

QList<PanelAction> PanelTransfer::quiet()
{
    QList<PanelAction> out;
    if (m_stopped || m_buffer.isEmpty())
        return out;
    if (m_buffer.endsWith(PanelWire::kSessionEnd)) {
        // The desktop left in the middle of a frame.
        addEvent(&out, QStringLiteral("partial-dropped"), {{QStringLiteral("bytes"), m_buffer.size() - 6}});
        m_buffer.clear();
        m_stopped = true;
        PanelAction a;
        a.type = PanelAction::SessionEnd;
        out.append(a);
        return out;
    }
    if (dataExpected()) {
        const FrameScan::Result r = FrameScan::flushQuiet(m_buffer);
        if (r.status == FrameScan::Result::Unmatched) {
            m_buffer.remove(0, r.length);
            handleUnmatched(r, &out);
        }
    }
    return out;
}

bool PanelTransfer::dataExpected() const
{
    return m_fileActive && !m_ended && (m_data.size() < qint64(m_size) || m_haveLast);
}

FrameScan::Context PanelTransfer::context() const
{
    FrameScan::Context c;
    c.expectedIndex = m_expected;
    c.remaining = m_size - quint32(m_data.size());
    c.chunkSize = m_chunkSize;
    c.haveLast = m_haveLast;
    c.lastIndex = m_lastIndex;
    c.lastChunkLen = m_lastChunkLen;
    return c;
}

PanelTransfer::Step PanelTransfer::processOne(QList<PanelAction> *out)
{
    if (m_buffer.isEmpty())
        return Step::NeedMore;
    if (m_buffer.startsWith(PanelWire::kSessionEnd)) {
        m_rest = m_buffer.mid(PanelWire::kSessionEnd.size());
        m_buffer.clear();
        m_stopped = true;
        PanelAction a;
        a.type = PanelAction::SessionEnd;
        out->append(a);
        return Step::Stop;
    }
    if (m_buffer.size() < PanelWire::kSessionEnd.size() && PanelWire::kSessionEnd.startsWith(m_buffer))
        return Step::NeedMore;
    if (PanelWire::startsLikeCommand(m_buffer)) {
        if (m_buffer.size() < PanelWire::kCommandSize)
            return Step::NeedMore;
        const CommandFrame cmd = PanelWire::parseCommand(m_buffer);
        if (!cmd.valid && dropPartialBeforeNextSession(out))
            return Step::Stop;
        if (!cmd.valid) {
            refuse(QStringLiteral("command frame without trailer"), {}, out);
            return Step::Stop;
        }
        m_buffer.remove(0, PanelWire::kCommandSize);
        handleCommand(cmd, out);
        return m_stopped ? Step::Stop : Step::Consumed;
    }
    if (dataExpected()) {
        const FrameScan::Result r = FrameScan::scan(m_buffer, context());
        if (r.status == FrameScan::Result::NeedMore)
            return dropPartialBeforeNextSession(out) ? Step::Stop : Step::NeedMore;
        if (r.status == FrameScan::Result::Unmatched) {
            m_buffer.remove(0, r.length);
            handleUnmatched(r, out);
            return Step::Consumed;
        }
        const QByteArray chunk = m_buffer.mid(8, r.chunkLen);
        m_buffer.remove(0, r.length);
        return handleFrame(r, chunk, out) ? Step::Consumed : Step::Stop;
    }
    if (dropPartialBeforeNextSession(out))
        return Step::Stop;
    refuse(QStringLiteral("unexpected bytes"), {}, out);
    return Step::Stop;
}

bool PanelTransfer::dropPartialBeforeNextSession(QList<PanelAction> *out)
{
    const int at = PanelWire::nextSessionAt(m_buffer);
    if (at <= 0)
        return false;
    addEvent(out, QStringLiteral("partial-dropped"), {{QStringLiteral("bytes"), at}});
    m_rest = m_buffer.mid(at + PanelWire::kSessionEnd.size());
    m_buffer.clear();
    m_stopped = true;
    PanelAction a;
    a.type = PanelAction::SessionEnd;
    out->append(a);
    return true;
}

void PanelTransfer::refuse(const QString &reason, const QJsonObject &extra, QList<PanelAction> *out)
{
    QJsonObject fields = extra;
    fields.insert(QStringLiteral("reason"), reason);
    fields.insert(QStringLiteral("head"), QString::fromLatin1(m_buffer.left(48).toHex()));
    addEvent(out, QStringLiteral("refused"), fields);
    m_buffer.clear();
    m_stopped = true;
    PanelAction a;
    a.type = PanelAction::Close;
    a.name = reason;
    out->append(a);
}

void PanelTransfer::handleCommand(const CommandFrame &cmd, QList<PanelAction> *out)
{
    const int code = cmd.code;
    if (code == PanelWire::kCodeModel) {
        answerQuery(out, QStringLiteral("model-query"), QStringLiteral("modelReply"),
                    PanelWire::modelReply(m_settings.model, m_settings.comm, m_settings.module),
                    m_settings.hasModelReply ? &m_settings.modelReply : nullptr);
    } else if (code == PanelWire::kCodeVersion) {
        answerQuery(out, QStringLiteral("version-query"), QStringLiteral("versionReply"),
                    PanelWire::versionReply(m_settings.version),
                    m_settings.hasVersionReply ? &m_settings.versionReply : nullptr);
    } else if (PanelWire::isAnnounceCode(cmd.code)) {
        const QJsonObject fields{{QStringLiteral("code"), code},
                                 {QStringLiteral("size"), double(cmd.size)},
                                 {QStringLiteral("sum"), double(cmd.sum)}};
        if (cmd.size > PanelWire::kMaxFileSize) {
            refuse(QStringLiteral("oversized announcement"), fields, out);
            return;
        }
        if (m_fileActive && !m_ended)
            addEvent(out, QStringLiteral("abandoned"), {{QStringLiteral("code"), int(m_code)},
                                                        {QStringLiteral("received"), m_data.size()}});
        m_fileActive = true;
        m_ended = false;
        m_code = cmd.code;
        m_size = cmd.size;
        m_sum = cmd.sum;
        m_data.clear();
        m_expected = 0;
        m_chunkSize = 0;
        m_haveLast = false;
        m_lastIndex = 0;
        m_lastChunkLen = 0;
        addEvent(out, QStringLiteral("announce"), fields);
        addReply(out, kAck);
    } else if (code == PanelWire::kCodeEnd) {
        handleEnd(out);
    } else if (code == PanelWire::kCodeComplete) {
        addEvent(out, QStringLiteral("complete"), {});
    } else {
        addEvent(out, QStringLiteral("unknown-command"), {{QStringLiteral("code"), code}});
    }
}

void PanelTransfer::handleEnd(QList<PanelAction> *out)
{
    bool ok = false;
    if (!m_fileActive) {
        addEvent(out, QStringLiteral("end"), {{QStringLiteral("ok"), false},
                                              {QStringLiteral("reason"), QStringLiteral("no file announced")},
                                              {QStringLiteral("path"), QString()}});
    } else if (m_ended) {
        // The desktop sent the end command again (its acknowledgement came late).
        ok = true;
        addEvent(out, QStringLiteral("end"), {{QStringLiteral("code"), int(m_code)},
                                              {QStringLiteral("size"), double(m_size)},
                                              {QStringLiteral("sum"), double(m_sum)},
                                              {QStringLiteral("ok"), true},
                                              {QStringLiteral("repeat"), true}});
    } else {
        const quint32 sum = PanelWire::byteSum(m_data);
        ok = m_data.size() == qint64(m_size) && sum == m_sum;
        QJsonObject fields{{QStringLiteral("code"), int(m_code)},
                           {QStringLiteral("size"), double(m_data.size())},
                           {QStringLiteral("sum"), double(sum)},
                           {QStringLiteral("ok"), ok}};
        if (ok) {
            PanelAction store;
            store.type = PanelAction::Store;
            store.code = m_code;
            store.bytes = m_data;
            store.fields = fields;
            out->append(store);
            m_ended = true;
            m_data.clear();
        } else {
            fields.insert(QStringLiteral("announcedSize"), double(m_size));
            fields.insert(QStringLiteral("announcedSum"), double(m_sum));
            fields.insert(QStringLiteral("path"), QString());
            addEvent(out, QStringLiteral("end"), fields);
        }
    }
    if (m_settings.noEndAck) {
        addEvent(out, QStringLiteral("fault"), {{QStringLiteral("fault"), QStringLiteral("noEndAck")}});
        return;
    }
    addReply(out, ok ? kAck : kNak);
}

bool PanelTransfer::handleFrame(const FrameScan::Result &frame, const QByteArray &chunk,
                                QList<PanelAction> *out)
{
    ++m_sessionFrames;
    if (dropConnectionFault(frame, out))
        return false;

    const quint32 remaining = m_size - quint32(m_data.size());
    const bool accept = frame.index == m_expected && frame.sumOk && remaining > 0
        && quint32(frame.chunkLen) <= remaining && frame.chunkLen > 0;
    const bool repeat = !accept && m_haveLast && frame.index == m_lastIndex && frame.sumOk
        && frame.chunkLen == m_lastChunkLen;

    QJsonObject fields{{QStringLiteral("code"), int(m_code)},
                       {QStringLiteral("index"), double(frame.index)},
                       {QStringLiteral("len"), frame.chunkLen},
                       {QStringLiteral("sumOk"), frame.sumOk}};

    int plannedDelayMs = 0;
    for (int i = 0; i < m_settings.framePlan.size(); ++i) {
        const PanelSettings::PlanEntry &e = m_settings.framePlan.at(i);
        if ((e.code >= 0 && e.code != int(m_code)) || e.index != frame.index
            || m_planCursor.at(i) >= e.replies.size())
            continue;
        const QByteArray planned = e.replies.at(m_planCursor[i]++);
        QJsonObject fault{{QStringLiteral("fault"), QStringLiteral("framePlan")},
                          {QStringLiteral("index"), double(frame.index)},
                          {QStringLiteral("reply"), replyName(planned)}};
        if (e.delayMs > 0)
            fault.insert(QStringLiteral("delayMs"), e.delayMs);
        addEvent(out, QStringLiteral("fault"), fault);
        if (planned == kAck) {
            plannedDelayMs = e.delayMs;
            break;   // a planned 'K' is the normal answer
        }
        fields.insert(QStringLiteral("reply"), replyName(planned));
        fields.insert(QStringLiteral("planned"), true);
        addEvent(out, QStringLiteral("frame"), fields);
        addReply(out, planned, e.delayMs);
        return true;
    }

    QByteArray reply = kNak;
    if (accept) {
        m_data += chunk;
        if (m_chunkSize == 0)
            m_chunkSize = frame.chunkLen;
        m_haveLast = true;
        m_lastIndex = frame.index;
        m_lastChunkLen = frame.chunkLen;
        ++m_expected;
        reply = kAck;
    } else if (repeat) {
        fields.insert(QStringLiteral("repeat"), true);
        reply = kAck;
    } else if (frame.sumOk) {
        fields.insert(QStringLiteral("expectedIndex"), double(m_expected));
    }
    fields.insert(QStringLiteral("reply"), replyName(reply));
    addEvent(out, QStringLiteral("frame"), fields);
    addReply(out, reply, plannedDelayMs);
    return true;
}

// disconnectAfterFrames / resetAfterFrames: the connection goes on the Nth data frame
// of the session, closed or reset.
bool PanelTransfer::dropConnectionFault(const FrameScan::Result &frame, QList<PanelAction> *out)
{
    const bool reset = m_settings.resetAfterFrames > 0 && m_sessionFrames == m_settings.resetAfterFrames;
    const bool close = m_settings.disconnectAfterFrames > 0 && m_sessionFrames == m_settings.disconnectAfterFrames;
    if (!reset && !close)
        return false;
    const QString fault = reset ? QStringLiteral("resetAfterFrames") : QStringLiteral("disconnectAfterFrames");
    addEvent(out, QStringLiteral("fault"), {{QStringLiteral("fault"), fault},
                                            {QStringLiteral("frames"), m_sessionFrames},
                                            {QStringLiteral("index"), double(frame.index)}});
    m_buffer.clear();
    m_stopped = true;
    PanelAction a;
    a.type = PanelAction::Close;
    a.name = fault;
    a.reset = reset;
    out->append(a);
    return true;
}

void PanelTransfer::handleUnmatched(const FrameScan::Result &frame, QList<PanelAction> *out)
{
    addEvent(out, QStringLiteral("frame"), {{QStringLiteral("code"), int(m_code)},
                                            {QStringLiteral("index"), double(frame.index)},
                                            {QStringLiteral("len"), frame.length - PanelWire::kFrameOverhead},
                                            {QStringLiteral("sumOk"), false},
                                            {QStringLiteral("unmatched"), true},
                                            {QStringLiteral("reply"), QStringLiteral("M")}});
    addReply(out, kNak);
}
