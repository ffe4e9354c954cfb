#pragma once

#include "ProviderDetection.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

// The small rules the sheets and the onboarding share, kept out of QML so they can be tested on
// their own. In QML it is the singleton `SheetLogic` of Brinmoor.Sheets.
class SheetLogic : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    // What a provider status card shows; derived from the detection record at every redraw.
    enum class CardState {
        Checking,    // no detection has finished yet
        ShellTimedOut,  // the login shell did not finish starting: nothing was asked (ProviderInfo::shellTimedOut)
        Missing,     // the tool was not found
        NeedsLogin,  // found, but signed out
        Problem,     // found, but it cannot run or did not answer (ProviderInfo::problem)
        Ready,       // found and signed in
    };

    using QObject::QObject;
    static SheetLogic* create(QQmlEngine*, QJSEngine*) { return new SheetLogic; }

    static CardState cardState(const std::optional<ProviderInfo>& info);
    // Version, then path, joined by " · "; absent members left out.
    static QString readyDetail(const ProviderInfo& info);
    // The recent folders, with a chosen folder that is not among them on top.
    static QStringList dirOptions(const QStringList& recents, const QString& selectedDir);
    // "~" for the home folder itself and for paths inside it; anything else unchanged.
    static QString displayPath(const QString& path, const QString& home);
    // A new workspace's name: the typed one without blanks at its ends, "Untitled" when nothing
    // is left. Line breaks are not blanks here.
    static QString newWorkspaceName(const QString& typed);
    // Plain spaces and tabs removed from both ends (the onboarding's rule; other blanks stay).
    static QString trimPlainSpacesAndTabs(const QString& text);

    // The same for QML: a record arrives as the model's QVariant (null until detected).
    Q_INVOKABLE QString cardStateName(const QVariant& info) const;
    Q_INVOKABLE QString readyDetailText(const QVariant& info) const;
    Q_INVOKABLE QStringList dirOptionsFor(const QStringList& recents, const QString& selectedDir) const
    {
        return dirOptions(recents, selectedDir);
    }
    // Against the user's home folder.
    Q_INVOKABLE QString displayPathText(const QString& path) const;
    Q_INVOKABLE QString workspaceNameFor(const QString& typed) const { return newWorkspaceName(typed); }
    // The first recent folder, or the empty text.
    Q_INVOKABLE QString preselectedDir(const QStringList& recents) const
    {
        return recents.isEmpty() ? QString() : recents.first();
    }
    // Writes `text` to the clipboard, replacing whatever it held.
    Q_INVOKABLE void copyText(const QString& text) const;

    static std::optional<ProviderInfo> fromVariant(const QVariant& v);
};

} // namespace brinmoor
