#include "Palette.h"

#include <algorithm>
#include <array>

namespace {

struct Named
{
    const char* name;
    Palette::Pair pair;
};

constexpr std::array<Named, 14> kMembers{{
    {"textStrong", Palette::kTextStrong},
    {"text", Palette::kText},
    {"textDim", Palette::kTextDim},
    {"textFaint", Palette::kTextFaint},
    {"textGhost", Palette::kTextGhost},
    {"border", Palette::kBorder},
    {"borderControl", Palette::kBorderControl},
    {"borderStrong", Palette::kBorderStrong},
    {"hoverFill", Palette::kHoverFill},
    {"surface", Palette::kSurface},
    {"surfaceRaised", Palette::kSurfaceRaised},
    {"surfaceHeader", Palette::kSurfaceHeader},
    {"surfaceCard", Palette::kSurfaceCard},
    {"canvas", Palette::kCanvas},
}};

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool isScanSpace(QChar c)
{
    // The white space a C-locale text scanner skips, plus Unicode spaces and line breaks.
    return c.isSpace();
}

} // namespace

QString Palette::member(QStringView name) const
{
    const auto p = pairFor(name);
    return p ? pick(*p) : QString();
}

QStringList Palette::memberNames()
{
    QStringList names;
    for (const auto& m : kMembers)
        names << QString::fromLatin1(m.name);
    return names;
}

std::optional<Palette::Pair> Palette::pairFor(QStringView name)
{
    for (const auto& m : kMembers) {
        if (name == QLatin1String(m.name))
            return m.pair;
    }
    return std::nullopt;
}

quint64 scanHexNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isScanSpace(text[i]))
        ++i;
    // An optional "0x"/"0X" prefix; "0x" with no digit after it reads as 0 either way.
    if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X'))
        i += 2;
    quint64 value = 0;
    for (; i < n; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0)
            break;
        // Digits beyond sixteen shift the oldest out; only the low 24 bits are ever used.
        value = (value << 4) | quint64(d);
    }
    return value;
}

QColor colorFromHex(QStringView hex, double opacity)
{
    if (hex.startsWith(u'#'))
        hex = hex.mid(1);
    const quint64 v = scanHexNumber(hex) & 0xFFFFFFu;
    QColor c = QColor::fromRgb(int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF));
    c.setAlphaF(float(std::clamp(opacity, 0.0, 1.0)));
    return c;
}

QColor mixColors(const QColor& a, const QColor& b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    if (t <= 0.0)
        return a;
    if (t >= 1.0)
        return b;
    auto lerp = [t](float x, float y) { return x + (y - x) * float(t); };
    const QColor ra = a.toRgb();
    const QColor rb = b.toRgb();
    return QColor::fromRgbF(lerp(ra.redF(), rb.redF()), lerp(ra.greenF(), rb.greenF()),
                            lerp(ra.blueF(), rb.blueF()), lerp(ra.alphaF(), rb.alphaF()));
}
