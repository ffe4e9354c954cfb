#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

// Theme resolution: "dark" and "light" are taken as they are; "system" (and anything unknown)
// follows the system's colour scheme.
bool resolveDarkTheme(QStringView preference, bool systemDark);

// Qt 6.4 has no colour-scheme query: a palette whose window colour is darker than its text
// colour is a dark scheme.
bool paletteIsDark(const QPalette& palette);

// The helpers the QML theme (Theme.qml) builds on: hex colours, blends between the dark and the
// light member of a pair, the system's scheme, and the one font-size helper.
class ThemeSupport : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool systemDark READ systemDark NOTIFY systemDarkChanged)
    Q_PROPERTY(QStringList memberNames READ memberNames CONSTANT)
    // The system's fixed-pitch family (DejaVu Sans Mono on Debian).
    Q_PROPERTY(QString monospaceFamily READ monospaceFamily CONSTANT)

public:
    explicit ThemeSupport(QObject* parent = nullptr);
    static ThemeSupport* create(QQmlEngine*, QJSEngine*);

    bool systemDark() const { return m_systemDark; }
    QStringList memberNames() const;
    QString monospaceFamily() const;

    Q_INVOKABLE QColor hex(const QString& hex, qreal opacity = 1.0) const;
    // The colour at `blend` (0 dark … 1 light) between the dark and the light colour of a pair.
    Q_INVOKABLE QColor pair(const QString& darkHex, qreal darkOpacity, const QString& lightHex,
                            qreal lightOpacity, qreal blend) const;
    // The hex text of a palette member for one theme; empty for an unknown name.
    // A straight blend: t = 0 gives a, 1 gives b.
    Q_INVOKABLE QColor mix(const QColor& a, const QColor& b, qreal t) const;
    Q_INVOKABLE QString member(const QString& name, bool dark) const;
    Q_INVOKABLE bool resolveDark(const QString& preference, bool systemDark) const;
    // Font sizes are given in logical pixels and may be fractional (12.5); QFont::pixelSize is
    // an integer, so text takes the equivalent point size instead.
    Q_INVOKABLE qreal fontPoints(qreal pixels) const;

signals:
    void systemDarkChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshSystemDark();
    bool m_systemDark = true;
};
