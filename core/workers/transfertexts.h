#ifndef TRANSFERTEXTS_H
#define TRANSFERTEXTS_H

#include <QString>

// How the sending of one file over the relay link ended.
enum class TransferOutcome {
    Done,
    AnnounceNotSent,    // the announcing command frame was not written whole
    AnnounceRefused,    // the panel did not accept the announcement
    ChecksumErrors,     // a frame was refused for its checksum 10 times
    NoAcknowledgement,  // a frame went unanswered 10 times
    ShortWrites,        // a frame could not be written whole (nothing is reported)
    Stopped,            // the stop request, seen between frames (nothing is reported)
    LinkLost,           // the relay closed or reset the connection
    ReadFailed,         // the file could not be read
    EndRefused,         // the end command was not accepted in 10 attempts
};

// The texts of a download for the ways the sending of a file can end: one table each
// for the project download (where "%1" stands for the file's display name) and the
// firmware download.
struct TransferTexts
{
    const char *announceNotSent;
    const char *announceRefused;
    const char *checksumErrors;
    const char *noAcknowledgement;
    const char *linkLost;
    const char *readFailed;
    const char *endRefused;

    // The text for outcome with "%1" replaced by name; empty for Done, ShortWrites and
    // Stopped, which are not reported.
    QString text(TransferOutcome outcome, const QString &name = QString()) const;

    static const TransferTexts &project();
    static const TransferTexts &firmware();
};

#endif // TRANSFERTEXTS_H
