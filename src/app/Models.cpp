#include "Models.h"

#include <QHash>

namespace brinmoor {

QString rawValue(PaneState s)
{
    switch (s) {
    case PaneState::Running: return QStringLiteral("running");
    case PaneState::Idle: return QStringLiteral("idle");
    case PaneState::Awaiting: return QStringLiteral("awaiting");
    case PaneState::Error: return QStringLiteral("error");
    case PaneState::Stopped: return QStringLiteral("stopped");
    }
    return QString();
}

QString rawValue(PaneKind k)
{
    return k == PaneKind::Chat ? QStringLiteral("chat") : QStringLiteral("terminal");
}

QString rawValue(ChatProvider p)
{
    return p == ChatProvider::Codex ? QStringLiteral("codex") : QStringLiteral("claude");
}

QString rawValue(ThemePreference t)
{
    switch (t) {
    case ThemePreference::System: return QStringLiteral("system");
    case ThemePreference::Dark: return QStringLiteral("dark");
    case ThemePreference::Light: return QStringLiteral("light");
    }
    return QString();
}

std::optional<PaneState> paneStateFromRaw(const QString& raw)
{
    for (PaneState s : allPaneStates())
        if (rawValue(s) == raw)
            return s;
    return std::nullopt;
}

std::optional<PaneKind> paneKindFromRaw(const QString& raw)
{
    if (raw == QLatin1String("terminal"))
        return PaneKind::Terminal;
    if (raw == QLatin1String("chat"))
        return PaneKind::Chat;
    return std::nullopt;
}

std::optional<ChatProvider> chatProviderFromRaw(const QString& raw)
{
    if (raw == QLatin1String("claude"))
        return ChatProvider::Claude;
    if (raw == QLatin1String("codex"))
        return ChatProvider::Codex;
    return std::nullopt;
}

std::optional<ThemePreference> themePreferenceFromRaw(const QString& raw)
{
    for (ThemePreference t : {ThemePreference::System, ThemePreference::Dark, ThemePreference::Light})
        if (rawValue(t) == raw)
            return t;
    return std::nullopt;
}

QList<PaneState> allPaneStates()
{
    return {PaneState::Running, PaneState::Idle, PaneState::Awaiting, PaneState::Error, PaneState::Stopped};
}

QString sheetName(ActiveSheet s)
{
    return s == ActiveSheet::AddSession ? QStringLiteral("addSession") : QStringLiteral("newWorkspace");
}

std::optional<ActiveSheet> sheetFromName(const QString& name)
{
    if (name == QLatin1String("addSession"))
        return ActiveSheet::AddSession;
    if (name == QLatin1String("newWorkspace"))
        return ActiveSheet::NewWorkspace;
    return std::nullopt;
}

size_t sheetIdentity(ActiveSheet s)
{
    return qHash(static_cast<int>(s), size_t(0));
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(const QString& text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (int i = 0; i < 36; ++i) {
        const QChar c = text.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != QLatin1Char('-'))
                return std::nullopt;
        } else if (!(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                     || (c >= QLatin1Char('A') && c <= QLatin1Char('F')))) {
            return std::nullopt;
        }
    }
    const QUuid id = QUuid::fromString(text);
    return id;  // the nil UUID is a valid UUID text too
}

QVariant Session::docVariant() const
{
    return doc ? QVariant::fromValue(*doc) : QVariant();
}

bool Session::sameContent(const Session& o) const
{
    return id == o.id && kind == o.kind && project == o.project && sessionLabel == o.sessionLabel
        && directory == o.directory && state == o.state && autoApprove == o.autoApprove
        && autoCompact == o.autoCompact && cost == o.cost && groupID == o.groupID && muted == o.muted
        && doc == o.doc && provider == o.provider && claudeSessionId == o.claudeSessionId && figures == o.figures;
}

} // namespace brinmoor
