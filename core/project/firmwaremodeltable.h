#ifndef FIRMWAREMODELTABLE_H
#define FIRMWAREMODELTABLE_H

#include <QString>
#include <QStringList>
#include <QVector>

// The firmware images a panel accepts: for each model code of the model reply, the
// image base names with the communication type (1 4G, 2 WIFI) and the module code
// each one requires.
class FirmwareModelTable
{
public:
    struct Row
    {
        uchar model;
        const char *baseName;
        uchar comm;
        uchar module;
    };

    static const QVector<Row> &rows();

    // True when baseName is, case-sensitively and as a whole, the name listed for
    // this model, communication type and module.
    static bool accepts(uchar model, uchar comm, uchar module, const QString &baseName);
    // The base names listed for this model, communication type and module, in table order.
    static QStringList namesFor(uchar model, uchar comm, uchar module);
};

#endif // FIRMWAREMODELTABLE_H
