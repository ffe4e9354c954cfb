#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

// The application's own resource files: the two provider logos, the logo mark and the alert
// sound. Files are looked up among the compiled-in resources first, then in the source tree's
// resources/ folder (fixed at build time, for runs from a build tree). Each is resolved once.
class Assets : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // Image addresses for QML; empty when the image is missing or unreadable.
    Q_PROPERTY(QUrl claudeLogo READ claudeLogoUrl CONSTANT)
    Q_PROPERTY(QUrl codexLogo READ codexLogoUrl CONSTANT)
    Q_PROPERTY(QUrl logoMark READ logoMarkUrl CONSTANT)
    Q_PROPERTY(bool hasClaudeLogo READ hasClaudeLogo CONSTANT)
    Q_PROPERTY(bool hasCodexLogo READ hasCodexLogo CONSTANT)
    Q_PROPERTY(bool hasLogoMark READ hasLogoMark CONSTANT)
public:
    static Assets* create(QQmlEngine*, QJSEngine*);

    // Where the resource file is: a "qrc:" or "file:" address, or none.
    static std::optional<QUrl> resourceURL(const QString& name, const QString& ext);
    // The images, loaded on first use (none when missing or not an image).
    static std::optional<QImage> claudeLogo();
    static std::optional<QImage> codexLogo();
    static std::optional<QImage> logoMark();

    static QUrl claudeLogoUrl();
    static QUrl codexLogoUrl();
    static QUrl logoMarkUrl();
    static bool hasClaudeLogo() { return claudeLogo().has_value(); }
    static bool hasCodexLogo() { return codexLogo().has_value(); }
    static bool hasLogoMark() { return logoMark().has_value(); }

private:
    Assets() = default;
};

// The alert played when a chat session starts waiting for the user.
class AlertSound {
public:
    // Returns at once; the sound starts on the GUI thread. A new alert cuts the previous one
    // short. Without the sound file, or when it cannot play, the desktop's bell sounds instead.
    static void play();
    // The same with another sound file (none: the bell).
    static void play(const std::optional<QUrl>& source);
    // How many alerts were asked for, and how many fell back to the bell (for diagnostics).
    static int playCount();
    static int beepCount();
    static std::optional<QUrl> url();
    // The system beep, the fallback of every alert and the sound of a terminal's bell: the
    // desktop's bell (DesktopBell).
    static void beep();

private:
    static void playNow(const std::optional<QUrl>& source);
};

} // namespace brinmoor
