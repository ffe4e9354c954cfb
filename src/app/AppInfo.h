#pragma once

#include <QString>

class QSettings;

namespace brinmoor {

// What the running build knows about its own identity. Values are fixed on first use.
class AppInfo {
public:
    // The identifier this build was configured with (BRINMOOR_BUNDLE_ID).
    static QString bundleIdentifier();
    // A development build is one whose identifier ends in ".dev" (case-sensitive suffix test).
    static bool isDev();
    static bool isDevIdentifier(const QString& identifier);
    // The user-defaults store: a separate suite named after the identifier in a development
    // build, the application's standard store otherwise. Lives for the whole process.
    static QSettings& defaults();
    // Opens the defaults store for a build with that identifier (the caller owns it).
    static QSettings* openDefaults(bool isDev, const QString& identifier);
    // The one key of this application in that store.
    static constexpr const char* onboardedKey = "brinmoor.onboarded";
};

// Configuration read from the environment.
class AppConfig {
public:
    // The web service's base address: BRINMOOR_API when set and a usable URL, else the built-in
    // address. Fixed on first use.
    static QString baseURL();
    static constexpr const char* builtInBaseURL = "https://brinmoor.app";
    // The rule behind baseURL() for one value of the variable (none: not set).
    static QString resolveBaseURL(const QString* override);
    // `base` with `path` appended below it ("https://h/base" + "api/app/version" gives
    // "https://h/base/api/app/version").
    static QString appendingPath(const QString& base, const QString& path);
};

} // namespace brinmoor
