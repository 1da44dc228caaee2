#ifndef DEVINFO_H
#define DEVINFO_H

#include <QMetaType>
#include <QString>
#include <QVector>

// One panel of an account, as the cloud service lists it.
struct DevInfo
{
    QString iMei;
    QString status;   // "在线" online, "离线" offline; anything else is shown as is

    bool operator==(const DevInfo &o) const { return iMei == o.iMei && status == o.status; }
};

Q_DECLARE_METATYPE(DevInfo)

#endif // DEVINFO_H
