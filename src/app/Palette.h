#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The application's two themes. Every shared colour is a dark/light pair of six-digit hex texts;
// views take the member for the current theme and build the colour with colorFromHex().
class Palette
{
public:
    struct Pair
    {
        const char* dark;
        const char* light;
    };

    explicit Palette(bool isDark = true) : isDark(isDark) {}

    bool isDark;

    QString textStrong() const { return pick(kTextStrong); }
    QString text() const { return pick(kText); }
    QString textDim() const { return pick(kTextDim); }
    QString textFaint() const { return pick(kTextFaint); }
    QString textGhost() const { return pick(kTextGhost); }
    QString border() const { return pick(kBorder); }
    QString borderControl() const { return pick(kBorderControl); }
    QString borderStrong() const { return pick(kBorderStrong); }
    QString hoverFill() const { return pick(kHoverFill); }
    QString surface() const { return pick(kSurface); }
    QString surfaceRaised() const { return pick(kSurfaceRaised); }
    QString surfaceHeader() const { return pick(kSurfaceHeader); }
    QString surfaceCard() const { return pick(kSurfaceCard); }
    QString canvas() const { return pick(kCanvas); }

    // The member of that name for this theme; empty for an unknown name.
    QString member(QStringView name) const;

    // The fourteen member names, in the order of the table below.
    static QStringList memberNames();
    static std::optional<Pair> pairFor(QStringView name);

    static constexpr Pair kTextStrong{"eef0f3", "262a31"};
    static constexpr Pair kText{"c5c9d0", "3a4048"};
    static constexpr Pair kTextDim{"787f89", "737982"};
    static constexpr Pair kTextFaint{"5a616b", "9097a1"};
    static constexpr Pair kTextGhost{"565b63", "9097a1"};
    static constexpr Pair kBorder{"1c1e25", "dfe1e6"};
    static constexpr Pair kBorderControl{"22252d", "d6d9e0"};
    static constexpr Pair kBorderStrong{"23262e", "d2d5dc"};
    static constexpr Pair kHoverFill{"23262f", "dbe5f6"};
    static constexpr Pair kSurface{"0f1116", "f4f5f8"};
    static constexpr Pair kSurfaceRaised{"14161c", "f3f4f7"};
    static constexpr Pair kSurfaceHeader{"16191f", "e9ebf0"};
    // Cards, chips, pills and small buttons set on a surface.
    static constexpr Pair kSurfaceCard{"15171d", "ffffff"};
    static constexpr Pair kCanvas{"060709", "e2e4e9"};

    // The accent colour of controls, the same in both themes.
    static constexpr const char* kAccent = "5b8cdd";

private:
    QString pick(Pair p) const { return QString::fromLatin1(isDark ? p.dark : p.light); }
};

// Reads a colour from six hex digits. Never fails:
//  - one leading '#' is dropped (only one);
//  - then, like a C text scanner: leading white space is skipped, an optional 0x/0X is accepted,
//    hex digits of either case are read as far as they go and anything after them is ignored;
//    no digit at all reads as 0 (black);
//  - only the low 24 bits count (red 16-23, green 8-15, blue 0-7): an eight-digit text is not
//    read as having an alpha byte, and three digits are not a shorthand.
QColor colorFromHex(QStringView hex, double opacity = 1.0);

// The number the scan of colorFromHex() reads, before it is cut to 24 bits.
quint64 scanHexNumber(QStringView text);

// A straight blend of two colours, channel by channel including alpha; t = 0 gives a, t = 1 gives b.
QColor mixColors(const QColor& a, const QColor& b, double t);
