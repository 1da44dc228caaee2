#ifndef UPDATESTEP_H
#define UPDATESTEP_H

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

#include "safeunzip.h"

class QFile;

// What the steps of every update operation (cloud project sync, project and firmware
// download) have in common: their texts go to the worker's information signal, the
// dialog's stop request is looked at, archives are unpacked into a confined folder and
// files are read in pieces, the stop request looked at between pieces.
class UpdateStep
{
    Q_DECLARE_TR_FUNCTIONS(UpdateStep)

public:
    using Report = std::function<void(const QString &text)>;
    using StopRequested = std::function<bool()>;
    // Bytes done of total, in file (from 1) of files; see DownFileOBJ::progress.
    using Progress = std::function<void(qint64 done, qint64 total, int file, int files)>;

    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // The text reported for an archive that did not unpack, unreadableText for one that
    // cannot be read; empty for a stop and for success.
    static QString unpackFailureText(SafeUnzip::Status status, const QString &unreadableText);

protected:
    UpdateStep(Report report, StopRequested stopRequested);

    void report(const QString &text) const;
    bool stopRequested() const;
    void progress(qint64 done, qint64 total, int file, int files) const;
    // The text of an accepted frame, pattern with the offset and the file's size: the
    // first frame of a file (after startFrameTexts) and its last always, the ones between
    // at most every 250 ms. A download of thousands of frames a second neither builds nor
    // sends a text for each; what the dialog shows stays the same.
    void startFrameTexts();
    void reportFrame(const QString &pattern, qint64 offset, qint64 size);

    // Unpacks the archive into dir (emptied first). Every failure is reported here (a
    // stop silently; an archive that cannot be read with unreadableText) and gives false.
    bool unpackArchive(const QString &archive, const QString &dir, const QString &unreadableText,
                       QStringList *files);
    // Reads the file from its start in pieces, handing each to take. False when a read
    // fails or the stop request came.
    bool readInPieces(QFile &file, const std::function<void(const char *, qint64)> &take) const;

private:
    Report m_report;
    StopRequested m_stopRequested;
    Progress m_progress;
    QElapsedTimer m_lastFrameText;   // invalid: the next frame's text goes out
};

#endif // UPDATESTEP_H
