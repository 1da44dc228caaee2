#ifndef PROJECTFILES_H
#define PROJECTFILES_H

#include <QString>
#include <QVector>

class ModelRecord;

// The files of a compiled project in the order they are sent to the panel, each with
// its display name, its place in the unpack directory, its file code and the
// condition under which it is sent.
class ProjectFiles
{
public:
    enum Condition { Always, StartupScreen, Com1Driver, Com2Driver, FontLibrary };

    struct Step
    {
        int step;
        const char *name;   // display name (UTF-8; translated by the caller)
        const char *suffix; // "/File.dat" after the unpack directory; null: named by the record
        uchar code;
        Condition condition;
    };

    // One file to send: its step, display name, full path and code. The path is
    // empty when the record names the file with an unusable name.
    struct File
    {
        int step;
        const char *name;
        QString path;
        uchar code;
    };

    // The message "下载PLC驱动" follows this step, whatever follows it.
    static constexpr int kDriversFollowStep = 16;

    static const QVector<Step> &steps();

    // A file with an optional code that is missing or empty is skipped and counts
    // as written; all other codes are mandatory.
    static bool isOptionalCode(uchar code);

    // The files to send for this record, in order, conditional steps whose condition
    // does not hold left out.
    static QVector<File> plan(const ModelRecord &record, bool bHzFile, const QString &unpackDir);
};

#endif // PROJECTFILES_H
