#include "AppInfo.h"

#include <QSettings>
#include <QUrl>

#ifndef BRINMOOR_BUNDLE_ID
#define BRINMOOR_BUNDLE_ID "app.brinmoor.Brinmoor"
#endif

namespace brinmoor {

QString AppInfo::bundleIdentifier()
{
    return QStringLiteral(BRINMOOR_BUNDLE_ID);
}

bool AppInfo::isDevIdentifier(const QString& identifier)
{
    return identifier.endsWith(QLatin1String(".dev"), Qt::CaseSensitive);
}

bool AppInfo::isDev()
{
    static const bool dev = isDevIdentifier(bundleIdentifier());
    return dev;
}

QSettings& AppInfo::defaults()
{
    // Function-local statics are initialised once, safely against concurrent first use.
    static QSettings* store = openDefaults(isDev(), bundleIdentifier());
    return *store;
}

QSettings* AppInfo::openDefaults(bool isDev, const QString& identifier)
{
    // A development build keeps its own suite, named after its identifier, so its onboarding
    // flag never touches the released application's.
    auto* dev = isDev && !identifier.isEmpty() ? new QSettings(QStringLiteral("Brinmoor"), identifier) : nullptr;
    if (dev && dev->status() == QSettings::NoError)
        return dev;
    delete dev;
    return new QSettings(QStringLiteral("Brinmoor"), QStringLiteral("Brinmoor"));
}

QString AppConfig::resolveBaseURL(const QString* override)
{
    const QString builtIn = QString::fromLatin1(builtInBaseURL);
    if (!override)
        return builtIn;
    const QUrl url(*override, QUrl::StrictMode);
    // A usable override names at least a scheme and a host ("not a URL" includes the empty text).
    if (override->trimmed().isEmpty() || !url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        return builtIn;
    return url.toString();
}

QString AppConfig::baseURL()
{
    static const QString url = [] {
        if (!qEnvironmentVariableIsSet("BRINMOOR_API"))
            return resolveBaseURL(nullptr);
        const QString value = qEnvironmentVariable("BRINMOOR_API");
        return resolveBaseURL(&value);
    }();
    return url;
}

QString AppConfig::appendingPath(const QString& base, const QString& path)
{
    QUrl url(base);
    QString p = url.path();
    if (!p.endsWith(QLatin1Char('/')))
        p += QLatin1Char('/');
    QString rest = path;
    while (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    url.setPath(p + rest);
    return url.toString();
}

} // namespace brinmoor
