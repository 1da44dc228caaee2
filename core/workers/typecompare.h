#ifndef TYPECOMPARE_H
#define TYPECOMPARE_H

#include <QByteArray>
#include <QString>

// The firmware image at sPath fits the panel whose model reply is reply (model,
// communication type, module; missing bytes count as 0) when its base name
// (QFileInfo::baseName(): no directory, nothing from the first '.') is accepted by
// the firmware model table.
bool typeCompare(QByteArray reply, QString sPath);

#endif // TYPECOMPARE_H
