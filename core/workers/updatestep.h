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

    // Progress goes to progress from now on (one operation run): the start of every file
    // and the end always, what lies between at most every kProgressEveryMs (the dialog
    // draws no more often).
    void setProgress(Progress progress);
    static constexpr int kProgressEveryMs = 250;

    // The text reported for an archive that did not unpack, unreadableText for one that
    // cannot be read; empty for a stop and for success.
    static QString unpackFailureText(SafeUnzip::Status status, const QString &unreadableText);

protected:
    UpdateStep(Report report, StopRequested stopRequested);

    void report(const QString &text) const;
    bool stopRequested() const;
    void progress(qint64 done, qint64 total, int file, int files);
    // An accepted frame: its text (pattern with the offset and the file's size) and the
    // progress. The link reports the first and the last accepted frame of a file and the
    // ones between at most every kProgressEveryMs: a download of thousands of frames a
    // second neither builds nor sends a text for each, and what the dialog shows stays
    // the same.
    void frameAccepted(const QString &pattern, qint64 offset, qint64 size, qint64 done, qint64 total,
                       int file, int files);

    // Unpacks the archive into dir (emptied first). Every failure is reported here (a
    // stop silently; an archive that cannot be read with unreadableText) and gives false.
    bool unpackArchive(const QString &archive, const QString &dir, const QString &unreadableText,
                       QStringList *files);
    // Reads the file from its start in pieces, handing each to take. False when a read
    // fails or the stop request came.
    bool readInPieces(QFile &file, const std::function<void(const char *, qint64)> &take) const;

private:
    // Whether progress goes out now: always, or a file other than the last one's, or the
    // interval has passed; if so, it counts as gone out.
    bool progressDue(bool always, int file);

    Report m_report;
    StopRequested m_stopRequested;
    Progress m_progress;
    // What progress last went out: when, and for which file.
    QElapsedTimer m_lastProgress;
    int m_lastFile = -1;
};

#endif // UPDATESTEP_H
