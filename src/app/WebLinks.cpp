#include "WebLinks.h"

#include <QHostAddress>

namespace brinmoor::WebLinks {

namespace {

bool isWeb(const QUrl& url, bool allowPlainHttp)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    return allowPlainHttp && scheme == QLatin1String("http");
}

bool isLoopback(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

bool isOpenable(const QUrl& url)
{
    if (url.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) == 0)
        return url.isValid() && !url.path().isEmpty();
    return isWeb(url, true);
}

bool isOpenable(const QString& href)
{
    return isOpenable(QUrl(href.trimmed()));
}

bool isServiceAddress(const QUrl& url)
{
    if (isWeb(url, false))
        return true;
    return isWeb(url, true) && isLoopback(url.host());
}

} // namespace brinmoor::WebLinks
