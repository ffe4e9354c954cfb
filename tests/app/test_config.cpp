// Identity and configuration: the development-build test, the base address and its override.

#include "AppInfo.h"
#include "support/TestEnvironment.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <memory>

using namespace brinmoor;

BRINMOOR_APP_TEST_ENVIRONMENT();

TEST(AppIdentity, development_build_is_a_case_sensitive_dev_suffix)
{
    EXPECT_TRUE(AppInfo::isDevIdentifier(QStringLiteral("app.brinmoor.Brinmoor.dev")));
    EXPECT_FALSE(AppInfo::isDevIdentifier(QStringLiteral("app.brinmoor.Brinmoor.Dev")));
    EXPECT_FALSE(AppInfo::isDevIdentifier(QStringLiteral("app.brinmoor.Brinmoor.develop")));
    EXPECT_FALSE(AppInfo::isDevIdentifier(QStringLiteral("app.brinmoor.Brinmoordev")));
    EXPECT_FALSE(AppInfo::isDevIdentifier(QString()));
    EXPECT_EQ(AppInfo::isDev(), AppInfo::isDevIdentifier(AppInfo::bundleIdentifier()));
}

TEST(AppConfiguration, base_address_override_is_used_only_when_it_is_a_url)
{
    const QString builtIn = QString::fromLatin1(AppConfig::builtInBaseURL);
    EXPECT_EQ(AppConfig::resolveBaseURL(nullptr), builtIn);
    const QString cases[][2] = {
        {"", builtIn},
        {"   ", builtIn},
        {"not a url", builtIn},
        {"http://localhost:8123", "http://localhost:8123"},
        {"https://example.test/base", "https://example.test/base"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppConfig::resolveBaseURL(&c[0]), c[1]) << c[0].toStdString();
}

TEST(AppConfiguration, manifest_path_goes_below_the_base_path)
{
    EXPECT_EQ(AppConfig::appendingPath(QStringLiteral("https://brinmoor.app"), QStringLiteral("api/app/version")),
              QStringLiteral("https://brinmoor.app/api/app/version"));
    EXPECT_EQ(AppConfig::appendingPath(QStringLiteral("https://example.test/base"), QStringLiteral("api/app/version")),
              QStringLiteral("https://example.test/base/api/app/version"));
    EXPECT_EQ(AppConfig::appendingPath(QStringLiteral("https://example.test/base/"), QStringLiteral("api/app/version")),
              QStringLiteral("https://example.test/base/api/app/version"));
}

TEST(AppConfiguration, base_address_is_fixed_at_first_use)
{
    qputenv("BRINMOOR_API", "http://first.test");
    const QString first = AppConfig::baseURL();
    qputenv("BRINMOOR_API", "http://second.test");
    EXPECT_EQ(AppConfig::baseURL(), first);
    qunsetenv("BRINMOOR_API");
}

TEST(AppIdentity, development_build_keeps_its_defaults_in_its_own_suite)
{
    std::unique_ptr<QSettings> dev(AppInfo::openDefaults(true, QStringLiteral("app.brinmoor.Brinmoor.dev")));
    std::unique_ptr<QSettings> released(AppInfo::openDefaults(false, QStringLiteral("app.brinmoor.Brinmoor")));
    EXPECT_NE(dev->fileName(), released->fileName());
    EXPECT_TRUE(dev->fileName().endsWith(QStringLiteral("app.brinmoor.Brinmoor.dev.conf")));
    // Both live below the test's own configuration folder, never the user's.
    EXPECT_TRUE(dev->fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    dev->setValue(QLatin1String(AppInfo::onboardedKey), true);
    dev->sync();
    released->sync();
    EXPECT_FALSE(released->value(QLatin1String(AppInfo::onboardedKey), false).toBool());
}
