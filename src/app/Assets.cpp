#include "Assets.h"

#include "DesktopBell.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QQmlEngine>
#include <QSoundEffect>

#include <atomic>

#ifndef BRINMOOR_RESOURCE_DIR
#define BRINMOOR_RESOURCE_DIR ""
#endif

namespace brinmoor {

namespace {

std::optional<QImage> loadImage(const QString& name, const QString& ext)
{
    const auto url = Assets::resourceURL(name, ext);
    if (!url)
        return std::nullopt;
    const QString path = url->scheme() == QLatin1String("qrc") ? QLatin1Char(':') + url->path() : url->toLocalFile();
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

QUrl urlIfLoaded(const std::optional<QImage>& image, const QString& name, const QString& ext)
{
    if (!image)
        return QUrl();
    return Assets::resourceURL(name, ext).value_or(QUrl());
}

std::atomic<int> plays{0};
std::atomic<int> beeps{0};
QSoundEffect* current = nullptr;  // touched only on the GUI thread

} // namespace

Assets* Assets::create(QQmlEngine*, QJSEngine*)
{
    static Assets* instance = new Assets;
    QQmlEngine::setObjectOwnership(instance, QQmlEngine::CppOwnership);
    return instance;
}

std::optional<QUrl> Assets::resourceURL(const QString& name, const QString& ext)
{
    const QString file = name + QLatin1Char('.') + ext;
    const QString compiled = QStringLiteral(":/Brinmoor/App/assets/") + file;
    if (QFile::exists(compiled))
        return QUrl(QStringLiteral("qrc") + compiled);
    const QString folder = QStringLiteral(BRINMOOR_RESOURCE_DIR);
    if (!folder.isEmpty()) {
        const QString path = folder + QLatin1Char('/') + file;
        if (QFileInfo::exists(path))
            return QUrl::fromLocalFile(path);
    }
    return std::nullopt;
}

std::optional<QImage> Assets::claudeLogo()
{
    static const std::optional<QImage> image = loadImage(QStringLiteral("claude-logo"), QStringLiteral("png"));
    return image;
}

std::optional<QImage> Assets::codexLogo()
{
    static const std::optional<QImage> image = loadImage(QStringLiteral("codex-logo"), QStringLiteral("svg"));
    return image;
}

std::optional<QImage> Assets::logoMark()
{
    static const std::optional<QImage> image = loadImage(QStringLiteral("logomark"), QStringLiteral("png"));
    return image;
}

QUrl Assets::claudeLogoUrl()
{
    return urlIfLoaded(claudeLogo(), QStringLiteral("claude-logo"), QStringLiteral("png"));
}

QUrl Assets::codexLogoUrl()
{
    return urlIfLoaded(codexLogo(), QStringLiteral("codex-logo"), QStringLiteral("svg"));
}

QUrl Assets::logoMarkUrl()
{
    return urlIfLoaded(logoMark(), QStringLiteral("logomark"), QStringLiteral("png"));
}

std::optional<QUrl> AlertSound::url()
{
    static const std::optional<QUrl> u = Assets::resourceURL(QStringLiteral("alert"), QStringLiteral("wav"));
    return u;
}

int AlertSound::playCount()
{
    return plays.load();
}

int AlertSound::beepCount()
{
    return beeps.load();
}

void AlertSound::beep()
{
    ++beeps;
    DesktopBell::ring();
}

void AlertSound::play()
{
    play(url());
}

void AlertSound::play(const std::optional<QUrl>& source)
{
    ++plays;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(app, [source] { playNow(source); }, Qt::QueuedConnection);
}

void AlertSound::playNow(const std::optional<QUrl>& u)
{
    if (!u) {
        beep();
        return;
    }
    auto* effect = new QSoundEffect(QCoreApplication::instance());
    effect->setSource(*u);
    if (effect->status() == QSoundEffect::Error) {
        delete effect;
        beep();
        return;
    }
    // A new alert cuts the previous one short.
    if (current) {
        current->stop();
        current->deleteLater();
    }
    current = effect;
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
        if (effect->status() == QSoundEffect::Error && effect == current)
            beep();
    });
    effect->play();
}

} // namespace brinmoor
