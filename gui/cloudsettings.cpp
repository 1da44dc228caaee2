#include "cloudsettings.h"

namespace {
CloudEndpoint &current()
{
    static CloudEndpoint endpoint;
    return endpoint;
}
} // namespace

CloudEndpoint CloudSettings::endpoint()
{
    return current();
}

void CloudSettings::setEndpoint(const CloudEndpoint &endpoint)
{
    current() = endpoint;
}

QString CloudSettings::baseUrl()
{
    return current().baseUrl();
}

void CloudSettings::setBaseUrl(const QString &url)
{
    const CloudEndpoint old = current();
    current() = CloudEndpoint(url, old.caFile(), old.insecure());
}
