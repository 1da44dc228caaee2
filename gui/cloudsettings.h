#ifndef CLOUDSETTINGS_H
#define CLOUDSETTINGS_H

#include <QString>

#include "cloudendpoint.h"

// The cloud service of this run: set from "User.ini" by the sign-in window and used by
// the windows when they talk to the service or make a worker, which gets its own copy.
// The GUI thread's alone: no worker reads it.
class CloudSettings
{
public:
    static CloudEndpoint endpoint();
    static void setEndpoint(const CloudEndpoint &endpoint);

    static QString baseUrl();
    // Another base URL with the same certificate settings (the endpoint is made anew).
    static void setBaseUrl(const QString &url);
};

#endif // CLOUDSETTINGS_H
