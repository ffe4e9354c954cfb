#include "ThemeSupport.h"

#include "Palette.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QScreen>

bool resolveDarkTheme(QStringView preference, bool systemDark)
{
    if (preference == u"dark")
        return true;
    if (preference == u"light")
        return false;
    return systemDark;
}

bool paletteIsDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

ThemeSupport::ThemeSupport(QObject* parent) : QObject(parent)
{
    refreshSystemDark();
    if (qApp)
        qApp->installEventFilter(this);
}

ThemeSupport* ThemeSupport::create(QQmlEngine* engine, QJSEngine*)
{
    auto* s = new ThemeSupport;
    QJSEngine::setObjectOwnership(s, QJSEngine::JavaScriptOwnership);
    Q_UNUSED(engine);
    return s;
}

QStringList ThemeSupport::memberNames() const
{
    return Palette::memberNames();
}

QString ThemeSupport::monospaceFamily() const
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

QColor ThemeSupport::mix(const QColor& a, const QColor& b, qreal t) const
{
    return mixColors(a, b, t);
}

QColor ThemeSupport::hex(const QString& hex, qreal opacity) const
{
    return colorFromHex(hex, opacity);
}

QColor ThemeSupport::pair(const QString& darkHex, qreal darkOpacity, const QString& lightHex,
                          qreal lightOpacity, qreal blend) const
{
    return mixColors(colorFromHex(darkHex, darkOpacity), colorFromHex(lightHex, lightOpacity), blend);
}

QString ThemeSupport::member(const QString& name, bool dark) const
{
    return Palette(dark).member(name);
}

bool ThemeSupport::resolveDark(const QString& preference, bool systemDark) const
{
    return resolveDarkTheme(preference, systemDark);
}

qreal ThemeSupport::fontPoints(qreal pixels) const
{
    qreal dpi = 96.0;
    if (auto* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    if (dpi <= 0)
        dpi = 96.0;
    return pixels * 72.0 / dpi;
}

bool ThemeSupport::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        refreshSystemDark();
    return QObject::eventFilter(watched, event);
}

void ThemeSupport::refreshSystemDark()
{
    // Without a GUI application (plain unit tests) the system counts as dark.
    const bool dark = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
        ? paletteIsDark(QGuiApplication::palette())
        : true;
    if (dark == m_systemDark)
        return;
    m_systemDark = dark;
    emit systemDarkChanged();
}
