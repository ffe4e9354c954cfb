#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace brinmoor {

// The texts and small rules of the main window's bar, layout picker and workspace rail. The
// static functions are the rules; the QML singleton `WindowText` hands them to the views.
class WindowText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // A development build (its identifier ends in ".dev").
    Q_PROPERTY(bool isDevBuild READ isDevBuild CONSTANT)
    // The name centred over the top bar: "Brinmoor", or "Brinmoor Dev" in a development build.
    Q_PROPERTY(QString appTitle READ appTitleText CONSTANT)
    // The six workspace colours and their names, paired by position.
    Q_PROPERTY(QStringList workspaceColors READ workspaceColorList CONSTANT)
    Q_PROPERTY(QStringList workspaceColorNames READ workspaceColorNameList CONSTANT)

public:
    explicit WindowText(QObject* parent = nullptr) : QObject(parent) {}

    // --- The rules ---

    // "· 4 sessions · 1 needs you"; "s" is left out only for exactly one session.
    static QString sessionSubtitle(int sessionCount, int awaitingCount);
    // The position of the metric to warn about: the highest percent of 90 or more, the first
    // one among equals; none when no metric reaches 90.
    static std::optional<int> usageWarningIndex(const QList<double>& percents);
    // A percentage as a whole number, halves rounded away from zero: 99.5 gives "100%".
    static QString percentText(double percent);
    static QString usageWarningTagText(double percent);
    // "· reset in 2h 5m" for "Resets in 2h 5m", "· Resets soon" unchanged; empty without a label.
    static QString usageWarningResetText(const QString& resetsLabel);
    static QString usageWarningColorHex(double percent);
    static QString usageWarningHelp(double percent);
    // With `pageProblem` (why the page a click would open is refused) on a line of its own.
    static QString updatePillHelp(bool ready, const QString& latestVersion, const QString& pageProblem = QString());
    // The pill's help where the app cannot replace itself: the version, why (`installProblem`),
    // and what a click does: open the download page, or, without one, why not.
    static QString updateByHandHelp(const QString& latestVersion, const QString& installProblem, bool hasPage,
                                    const QString& pageProblem);
    // The theme toggle's next preference: light from dark, dark from anything else ("system" too).
    static QString nextThemePreference(const QString& current);
    static QString appTitle(bool isDev);

    // Layout picker. `forcedColumns` 0 means automatic; a hover cell of 0 × 0 means none.
    static QString chipText(int forcedColumns, int maxRows);
    static bool isCellLit(int c, int r, int hoverC, int hoverR, int forcedColumns, int maxRows);
    static QString pickerCaption(int hoverC, int hoverR, int forcedColumns, int maxRows);

    // Workspace rail.
    static QString monogram(const QString& name);
    static QString paneCount(int count);
    static QString collapsedRowHelp(const QString& name, int count);
    // Amber "f0b429" when a state is "awaiting", else red "f0524f" when one is "error", else "".
    static QString attentionHex(const QStringList& states);
    static const QStringList& workspaceColors();
    static const QStringList& workspaceColorNames();

    // --- For QML ---
    bool isDevBuild() const;
    QString appTitleText() const { return appTitle(isDevBuild()); }
    QStringList workspaceColorList() const { return workspaceColors(); }
    QStringList workspaceColorNameList() const { return workspaceColorNames(); }

    Q_INVOKABLE QString subtitle(int sessionCount, int awaitingCount) const
    {
        return sessionSubtitle(sessionCount, awaitingCount);
    }
    // The metric (a usageMetric) of `metrics` to warn about, or null.
    Q_INVOKABLE QVariant usageWarning(const QVariantList& metrics) const;
    // {text, resetText, colorHex, help} for one metric.
    Q_INVOKABLE QVariantMap usageWarningTag(const QVariant& metric) const;
    Q_INVOKABLE QString percent(double value) const { return percentText(value); }
    Q_INVOKABLE QString pillHelp(bool ready, const QString& latestVersion, const QString& pageProblem = QString()) const
    {
        return updatePillHelp(ready, latestVersion, pageProblem);
    }
    Q_INVOKABLE QString byHandHelp(const QString& latestVersion, const QString& installProblem, bool hasPage,
                                   const QString& pageProblem) const
    {
        return updateByHandHelp(latestVersion, installProblem, hasPage, pageProblem);
    }
    Q_INVOKABLE QString nextTheme(const QString& current) const { return nextThemePreference(current); }
    Q_INVOKABLE QString chip(int forcedColumns, int maxRows) const { return chipText(forcedColumns, maxRows); }
    Q_INVOKABLE bool lit(int c, int r, int hoverC, int hoverR, int forcedColumns, int maxRows) const
    {
        return isCellLit(c, r, hoverC, hoverR, forcedColumns, maxRows);
    }
    Q_INVOKABLE QString caption(int hoverC, int hoverR, int forcedColumns, int maxRows) const
    {
        return pickerCaption(hoverC, hoverR, forcedColumns, maxRows);
    }
    Q_INVOKABLE QString initials(const QString& name) const { return monogram(name); }
    Q_INVOKABLE QString panes(int count) const { return paneCount(count); }
    Q_INVOKABLE QString tileHelp(const QString& name, int count) const { return collapsedRowHelp(name, count); }
};

} // namespace brinmoor
