#include "firmwaremodeltable.h"

const QVector<FirmwareModelTable::Row> &FirmwareModelTable::rows()
{
    static const QVector<Row> table = {
        {46, "PRV052K118-E600X600N_WIFI01", 2, 1},
        {46, "PRV052K118-E600X600N_WIFI02", 2, 2},
        {46, "PRV052K118-E600X600N_WIFI03", 2, 3},
        {60, "PLN050K01_4G01", 1, 1},
        {60, "PLN050K01_WIFI01", 2, 1},
        {60, "PLN050K01_4G02", 1, 2},
        {60, "PLN050K01_WIFI02", 2, 2},
        {70, "PLN080K01_4G01", 1, 1},
        {70, "PLN080K01_WIFI01", 2, 1},
        {70, "PLN080K01_4G02", 1, 2},
        {70, "PLN080K01_WIFI02", 2, 2},
        {90, "PLN120K01_4G01", 1, 1},
        {90, "PLN120K01_WIFI01", 2, 1},
        {90, "PLN120K01_4G02", 1, 2},
        {90, "PLN120K01_WIFI02", 2, 2},
    };
    return table;
}

bool FirmwareModelTable::accepts(uchar model, uchar comm, uchar module, const QString &baseName)
{
    for (const Row &row : rows()) {
        if (row.model == model && row.comm == comm && row.module == module
            && baseName == QLatin1String(row.baseName))
            return true;
    }
    return false;
}

QStringList FirmwareModelTable::namesFor(uchar model, uchar comm, uchar module)
{
    QStringList names;
    for (const Row &row : rows()) {
        if (row.model == model && row.comm == comm && row.module == module)
            names << QLatin1String(row.baseName);
    }
    return names;
}
