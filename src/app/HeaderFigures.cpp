#include "HeaderFigures.h"

#include <cmath>

namespace brinmoor::HeaderFigures {

namespace {

double counted(double v)
{
    return std::isfinite(v) && v > 0 ? v : 0.0;
}

// One decimal and a unit, choosing the unit after rounding so that 999 950 reads 1.0M, not
// 1000.0k.
QString withUnit(double v)
{
    static const struct {
        double scale;
        char unit;
    } units[] = {{1e3, 'k'}, {1e6, 'M'}, {1e9, 'B'}};
    for (const auto& u : units) {
        const double scaled = std::round(v / u.scale * 10.0) / 10.0;
        if (scaled < 1000.0)
            return QString::asprintf("%.1f%c", scaled, u.unit);
    }
    return QStringLiteral("999.9B+");
}

} // namespace

QString tokenText(double tokens)
{
    const double n = std::floor(counted(tokens));
    return n < 1000 ? QString::number(qint64(n)) : withUnit(n);
}

QString costText(double usd)
{
    const double cost = counted(usd);
    if (cost <= 0)
        return QString();
    // Four decimals while they fit; "%.4f" of 999.99995 would read 1000.0000.
    if (cost < 999.99995)
        return QLatin1Char('$') + QString::asprintf("%.4f", cost);
    return QLatin1Char('$') + withUnit(cost);
}

QString label(double tokensIn, double tokensOut, double costUsd)
{
    // Summed as doubles: two counts near the 64-bit limit would overflow as integers.
    const double n = counted(tokensIn) + counted(tokensOut);
    const QString cost = costText(costUsd);
    if (!cost.isEmpty())
        return tokenText(n) + QStringLiteral(" · ") + cost;
    if (n < 1)
        return QString();
    return tokenText(n) + QStringLiteral(" tokens");
}

} // namespace brinmoor::HeaderFigures
