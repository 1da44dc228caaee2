#ifndef PROJECTDOWNLOAD_H
#define PROJECTDOWNLOAD_H

#include <QString>

#include "relaydownload.h"

class ModelRecord;

// The project download ("升级组态") of one compile.zip, in steps: the archive is
// unpacked and its model record read, the panel's model, communication type, module
// and project version are checked against it, then the project's files are sent in
// their fixed order and the download is completed.
class ProjectDownload : public RelayDownload
{
    Q_DECLARE_TR_FUNCTIONS(ProjectDownload)

public:
    // unpackDir: where compile.zip is unpacked (emptied first); with unpacked true, a
    // folder that already holds the unpacked project, which is only read (sPath is then
    // not looked at).
    ProjectDownload(RelayLink &link, const RelayWaits &waits, QString imei, QString unpackDir,
                    Report report, bool unpacked = false);

    void run(const QString &sPath, int nFrameByte, bool bHzFile, bool updateFlag);

private:
    bool unpack(const QString &sPath, ModelRecord *record);
    bool checkPanel(const ModelRecord &record, bool updateFlag);
    bool send(const ModelRecord &record, bool bHzFile, int chunkSize);
    // One project file: false when the download cannot go on (reported here).
    bool writeFile(QString path, QString name, int chunkSize, uchar fileCode);

    QString m_imei;
    QString m_unpackDir;
    bool m_unpacked;
    struct Sent
    {
        qint64 before = 0;   // bytes of the files sent before this one
        qint64 total = 0;    // bytes of every file that goes out
        int file = 0;        // this one's number, from 1
        int files = 0;
    } m_sent;
};

#endif // PROJECTDOWNLOAD_H
