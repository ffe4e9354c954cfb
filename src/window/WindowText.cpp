#include "WindowText.h"

#include "AppInfo.h"
#include "HiddenCharacters.h"
#include "UsageService.h"

#include <QTextBoundaryFinder>

#include <cmath>

namespace brinmoor {

namespace {

const QString kAmber = QStringLiteral("f0b429");
const QString kRed = QStringLiteral("f0524f");

// A metric handed over from QML: the usage service's own record, or a plain map with the same
// field names (fakes in tests).
struct MetricFields {
    double percent = 0;
    QString resetsLabel;
};

std::optional<MetricFields> metricFields(const QVariant& v)
{
    if (v.metaType() == QMetaType::fromType<UsageMetric>()) {
        const auto m = v.value<UsageMetric>();
        return MetricFields{m.percent, m.resetsLabel().value_or(QString())};
    }
    if (v.canConvert<QVariantMap>()) {
        const QVariantMap map = v.toMap();
        if (!map.contains(QStringLiteral("percent")))
            return std::nullopt;
        bool ok = false;
        const double percent = map.value(QStringLiteral("percent")).toDouble(&ok);
        if (!ok || !std::isfinite(percent))
            return std::nullopt;
        return MetricFields{percent, map.value(QStringLiteral("resetsLabel")).toString()};
    }
    return std::nullopt;
}

} // namespace

QString WindowText::sessionSubtitle(int sessionCount, int awaitingCount)
{
    QString text = QStringLiteral("· ") + QString::number(sessionCount) + tr(" session");
    if (sessionCount != 1)
        text += QStringLiteral("s");
    if (awaitingCount > 0)
        text += QStringLiteral(" · ") + QString::number(awaitingCount) + tr(" needs you");
    return text;
}

std::optional<int> WindowText::usageWarningIndex(const QList<double>& percents)
{
    std::optional<int> pick;
    for (int i = 0; i < percents.size(); ++i) {
        const double p = percents[i];
        if (!(p >= 90.0))  // also leaves out NaN
            continue;
        // A later metric takes over only when strictly higher: the first of equals wins.
        if (!pick || p > percents[*pick])
            pick = i;
    }
    return pick;
}

QString WindowText::percentText(double percent)
{
    if (!std::isfinite(percent))
        return QStringLiteral("0%");
    // std::round rounds halves away from zero (unlike printf's banker's-or-binary rounding).
    const double whole = std::round(percent);
    return QString::number(whole, 'f', 0) + QStringLiteral("%");
}

QString WindowText::usageWarningTagText(double percent)
{
    return tr("Claude limit ") + percentText(percent);
}

QString WindowText::usageWarningResetText(const QString& resetsLabel)
{
    if (resetsLabel.isEmpty())
        return {};
    QString label = resetsLabel;
    label.replace(QStringLiteral("Resets in"), QStringLiteral("reset in"));
    return QStringLiteral("· ") + label;
}

QString WindowText::usageWarningColorHex(double percent)
{
    return percent >= 100.0 ? kRed : kAmber;
}

QString WindowText::usageWarningHelp(double percent)
{
    return percent >= 100.0 ? tr("Claude limit reached") : tr("Claude usage high");
}

QString WindowText::updatePillHelp(bool ready, const QString& latestVersion, const QString& pageProblem)
{
    const QString version = HiddenCharacters::inSentence(latestVersion);
    const QString help = ready ? tr("Brinmoor ") + version + tr(" downloaded — click to install (app restarts)")
                               : tr("Version ") + version + tr(" available");
    return pageProblem.isEmpty() ? help : help + QLatin1Char('\n') + pageProblem;
}

QString WindowText::updateByHandHelp(const QString& latestVersion, const QString& installProblem, bool hasPage,
                                     const QString& pageProblem)
{
    const QString click = hasPage ? tr("Click to open the download page.")
        : !pageProblem.isEmpty()  ? pageProblem
                                  : tr("The update service names no download page to open.");
    return tr("Version ") + HiddenCharacters::inSentence(latestVersion) + tr(" available. ") + installProblem + QLatin1Char('\n') + click;
}

QString WindowText::nextThemePreference(const QString& current)
{
    return current == QStringLiteral("dark") ? QStringLiteral("light") : QStringLiteral("dark");
}

QString WindowText::appTitle(bool isDev)
{
    return isDev ? QStringLiteral("Brinmoor Dev") : QStringLiteral("Brinmoor");
}

QString WindowText::chipText(int forcedColumns, int maxRows)
{
    if (forcedColumns <= 0)
        return tr("Auto");
    return QString::number(forcedColumns) + QStringLiteral("×") + QString::number(maxRows);
}

bool WindowText::isCellLit(int c, int r, int hoverC, int hoverR, int forcedColumns, int maxRows)
{
    if (hoverC > 0 && hoverR > 0)
        return c <= hoverC && r <= hoverR;
    if (forcedColumns <= 0)
        return false;
    return c <= forcedColumns && r <= maxRows;
}

QString WindowText::pickerCaption(int hoverC, int hoverR, int forcedColumns, int maxRows)
{
    if (hoverC > 0 && hoverR > 0)
        return QString::number(hoverC) + QStringLiteral(" × ") + QString::number(hoverR) + QStringLiteral("  ·  ")
               + QString::number(hoverC * hoverR) + tr(" panes fit");
    if (forcedColumns <= 0)
        return tr("Adapts columns to window shape");
    return QString::number(forcedColumns) + QStringLiteral(" × ") + QString::number(maxRows)
           + tr(" — extra panes scroll");
}

QString WindowText::monogram(const QString& name)
{
    // Only U+0020 separates words: a tab or line break stays inside a word. A hidden character
    // (an override, a tag character) is no letter: the tile has no room for its mark, and alone
    // it would draw nothing.
    const QStringList words = HiddenCharacters::stripped(name, HiddenCharacters::Scope::Text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString letters;
    for (int i = 0; i < words.size() && i < 2; ++i) {
        const QString& word = words[i];
        // The first user-perceived character: a whole grapheme cluster (an accent, an emoji).
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
        const qsizetype end = finder.toNextBoundary();
        letters += word.left(end > 0 ? end : word.size());
    }
    return letters.toUpper();
}

QString WindowText::paneCount(int count)
{
    // One form for every count: "1 panes".
    return QString::number(count) + tr(" panes");
}

QString WindowText::collapsedRowHelp(const QString& name, int count)
{
    return name + QStringLiteral(" · ") + paneCount(count);
}

QString WindowText::attentionHex(const QStringList& states)
{
    if (states.contains(QStringLiteral("awaiting")))
        return kAmber;
    if (states.contains(QStringLiteral("error")))
        return kRed;
    return {};
}

const QStringList& WindowText::workspaceColors()
{
    static const QStringList colors = {
        QStringLiteral("5b8cee"), QStringLiteral("c98a3a"), QStringLiteral("4aa37e"),
        QStringLiteral("9a7fc0"), QStringLiteral("c77f7f"), QStringLiteral("646a73"),
    };
    return colors;
}

const QStringList& WindowText::workspaceColorNames()
{
    static const QStringList names = {
        QStringLiteral("Blue"), QStringLiteral("Amber"), QStringLiteral("Green"),
        QStringLiteral("Purple"), QStringLiteral("Red"), QStringLiteral("Gray"),
    };
    return names;
}

bool WindowText::isDevBuild() const
{
    return AppInfo::isDev();
}

QVariant WindowText::usageWarning(const QVariantList& metrics) const
{
    QList<double> percents;
    percents.reserve(metrics.size());
    for (const QVariant& m : metrics) {
        const auto fields = metricFields(m);
        percents.append(fields ? fields->percent : std::nan(""));
    }
    const auto pick = usageWarningIndex(percents);
    return pick ? metrics[*pick] : QVariant();
}

QVariantMap WindowText::usageWarningTag(const QVariant& metric) const
{
    const auto fields = metricFields(metric);
    if (!fields)
        return {};
    return {
        {QStringLiteral("text"), usageWarningTagText(fields->percent)},
        {QStringLiteral("resetText"), usageWarningResetText(fields->resetsLabel)},
        {QStringLiteral("colorHex"), usageWarningColorHex(fields->percent)},
        {QStringLiteral("help"), usageWarningHelp(fields->percent)},
    };
}

} // namespace brinmoor
