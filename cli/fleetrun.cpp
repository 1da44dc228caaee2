#include "fleetrun.h"

#include <QCoreApplication>
#include <QDir>

#include "downfileobj.h"
#include "logging.h"
#include "terminalformat.h"

FleetRun::FleetRun(Job job, QString account, QString password, CloudEndpoint cloud, int parallel,
                   QObject *parent)
    : QObject(parent),
      m_job(std::move(job)),
      m_account(std::move(account)),
      m_password(std::move(password)),
      m_cloud(std::move(cloud)),
      m_parallel(qMax(1, parallel))
{
}

FleetRun::~FleetRun()
{
    stop();
}

void FleetRun::start(const QStringList &imeis)
{
    for (const QString &imei : imeis) {
        Outcome o;
        o.imei = imei;
        m_outcomes << o;
    }
    startNext();
}

void FleetRun::startNext()
{
    while (!m_stopping && int(m_running.size()) < m_parallel && m_next < m_outcomes.size()) {
        const int index = m_next++;
        const QString imei = m_outcomes.at(index).imei;
        auto *worker = new DownFileOBJ(imei, m_account, m_password, m_cloud);
        const QString scratch = m_job.scratchRoot + QLatin1Char('/') + QString::number(index);
        QDir().mkpath(scratch);
        worker->setUnpackRoot(scratch);
        if (!m_job.unpackedProject.isEmpty())
            worker->setUnpackedProject(m_job.unpackedProject);
        std::unique_ptr<Running> r(new Running);
        r->index = index;
        r->holder.reset(new WorkerThread<DownFileOBJ>(worker));
        connect(worker, &DownFileOBJ::information, this,
                [this, index](int, const QString &text) { onText(index, text); });
        connect(worker, &DownFileOBJ::finishThrd, this, [this, index](int) { onFinish(index); });
        connect(worker, &DownFileOBJ::progress, this,
                [this, index](int, qint64 done, qint64 total, int, int) {
                    if (!running(index))
                        return;
                    m_outcomes[index].bytes = done;
                    emitEvent(index, QStringLiteral("progress"), QString(), done, total);
                });
        connect(worker, &DownFileOBJ::panelInfo, this,
                [this, index](bool answered, int model, int comm, int module, qint64 version) {
                    onInfo(index, answered, model, comm, module, version);
                });
        r->clock.start();
        r->holder->start();
        emitEvent(index, QStringLiteral("start"), QString());
        const Job job = m_job;
        if (job.info) {
            QMetaObject::invokeMethod(worker, &DownFileOBJ::queryPanelInfo, Qt::QueuedConnection);
            m_running.push_back(std::move(r));
            continue;
        }
        switch (job.op) {
        case UpdateOperation::Firmware:
            QMetaObject::invokeMethod(worker, [worker, job] {
                worker->updateFirmWareTcp(job.file, job.frame);
            }, Qt::QueuedConnection);
            break;
        case UpdateOperation::Project:
            QMetaObject::invokeMethod(worker, [worker, job] {
                worker->updateConfigTcp(job.file, job.frame, job.font, false);
            }, Qt::QueuedConnection);
            break;
        case UpdateOperation::CloudSync:
            QMetaObject::invokeMethod(worker, [worker, job] {
                worker->updateCloudConf(job.file, job.useName);
            }, Qt::QueuedConnection);
            break;
        }
        m_running.push_back(std::move(r));
    }
    if (!m_finished && m_running.empty() && (m_stopping || m_next >= m_outcomes.size())) {
        m_finished = true;
        emit finished();
    }
}

FleetRun::Running *FleetRun::running(int index)
{
    for (const auto &r : m_running)
        if (r->index == index)
            return r.get();
    return nullptr;
}

void FleetRun::onText(int index, const QString &text)
{
    if (!running(index))
        return;   // late, after its end
    // How far a file is shows in the progress events.
    if (TerminalFormat::isProgressText(text))
        return;
    m_outcomes[index].text = text;
    emitEvent(index, QStringLiteral("step"), text);
}

void FleetRun::onFinish(int index)
{
    if (!running(index))
        return;
    const Outcome &o = m_outcomes.at(index);
    conclude(index, PanelResult::succeeded(m_job.op, o.text) ? PanelResult::Result::Succeeded
                                                             : PanelResult::Result::Failed);
    startNext();
}

void FleetRun::onInfo(int index, bool answered, int model, int comm, int module, qint64 version)
{
    if (!running(index))
        return;
    if (answered) {
        m_outcomes[index].text = PanelResult::infoText(model, comm, module, version);
        emitEvent(index, QStringLiteral("info"), m_outcomes.at(index).text);
    } else {
        m_outcomes[index].text = QCoreApplication::translate("RelayDownload", "查询型号命令失败");
    }
    conclude(index, answered ? PanelResult::Result::Succeeded : PanelResult::Result::Failed);
    startNext();
}

void FleetRun::conclude(int index, PanelResult::Result result)
{
    for (auto it = m_running.begin(); it != m_running.end(); ++it) {
        if ((*it)->index != index)
            continue;
        m_outcomes[index].ms = (*it)->clock.elapsed();
        (*it)->holder->stop();
        m_running.erase(it);   // the release: worker and thread go
        break;
    }
    Outcome &o = m_outcomes[index];
    o.result = result;
    emitEvent(index, PanelResult::word(result), o.text, o.bytes);
}

void FleetRun::stop()
{
    if (m_stopping || m_finished)
        return;
    m_stopping = true;
    qCDebug(lcRelay) << "FleetRun::stop" << m_running.size();
    for (const auto &r : m_running)
        r->holder->worker()->setStopFlag(true);
    for (const auto &r : m_running)
        r->holder->stop();
    while (!m_running.empty())
        conclude(m_running.front()->index, PanelResult::Result::Stopped);
    for (int i = m_next; i < m_outcomes.size(); ++i)
        emitEvent(i, PanelResult::word(PanelResult::Result::Stopped), QString());
    m_next = m_outcomes.size();
    startNext();
}

void FleetRun::emitEvent(int index, const QString &phase, const QString &text, qint64 bytes,
                         qint64 total)
{
    PanelEvent e;
    e.panel = m_outcomes.at(index).imei;
    e.phase = phase;
    e.text = text;
    e.bytes = bytes;
    e.total = total;
    emit event(e);
}
