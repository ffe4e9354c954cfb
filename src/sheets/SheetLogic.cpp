#include "SheetLogic.h"

#include "AppModel.h"
#include "HiddenCharacters.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>

namespace brinmoor {

SheetLogic::CardState SheetLogic::cardState(const std::optional<ProviderInfo>& info)
{
    if (!info)
        return CardState::Checking;
    if (info->shellTimedOut)
        return CardState::ShellTimedOut;
    if (!info->found)
        return CardState::Missing;
    if (!info->problem.isEmpty())
        return CardState::Problem;
    if (!info->authed)
        return CardState::NeedsLogin;
    return CardState::Ready;
}

QString SheetLogic::readyDetail(const ProviderInfo& info)
{
    // Each as it stands in a sentence: a path through a folder named right to left would take the
    // dot and the version into its own run and set them after it.
    QStringList parts;
    if (info.version)
        parts << HiddenCharacters::inSentence(*info.version);
    if (info.path)
        parts << HiddenCharacters::inSentence(*info.path);
    return parts.join(QStringLiteral(" \u00b7 "));
}

QStringList SheetLogic::dirOptions(const QStringList& recents, const QString& selectedDir)
{
    QStringList out = recents;
    if (!selectedDir.isEmpty() && !out.contains(selectedDir))
        out.prepend(selectedDir);
    return out;
}

QString SheetLogic::displayPath(const QString& path, const QString& home)
{
    // A plain prefix test would turn "/home/meg" into "~g" for the home "/home/me".
    if (home.isEmpty())
        return path;
    if (path == home)
        return QStringLiteral("~");
    const QString inside = home.endsWith(QLatin1Char('/')) ? home : home + QLatin1Char('/');
    if (path.startsWith(inside))
        return QStringLiteral("~/") + path.mid(inside.size());
    return path;
}

QString SheetLogic::newWorkspaceName(const QString& typed)
{
    const QString t = brinmoor::trimSpacesAndTabs(typed);
    return t.isEmpty() ? QStringLiteral("Untitled") : t;
}

QString SheetLogic::trimPlainSpacesAndTabs(const QString& text)
{
    return trimEnds(text, [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); });
}

std::optional<ProviderInfo> SheetLogic::fromVariant(const QVariant& v)
{
    if (!v.isValid() || v.isNull() || !v.canConvert<ProviderInfo>())
        return std::nullopt;
    return v.value<ProviderInfo>();
}

QString SheetLogic::cardStateName(const QVariant& info) const
{
    switch (cardState(fromVariant(info))) {
    case CardState::Checking: return QStringLiteral("checking");
    case CardState::ShellTimedOut: return QStringLiteral("shellTimedOut");
    case CardState::Missing: return QStringLiteral("missing");
    case CardState::NeedsLogin: return QStringLiteral("needsLogin");
    case CardState::Problem: return QStringLiteral("problem");
    case CardState::Ready: return QStringLiteral("ready");
    }
    return QStringLiteral("checking");
}

QString SheetLogic::readyDetailText(const QVariant& info) const
{
    const auto record = fromVariant(info);
    return record ? readyDetail(*record) : QString();
}

QString SheetLogic::displayPathText(const QString& path) const
{
    return displayPath(path, QDir::homePath());
}

void SheetLogic::copyText(const QString& text) const
{
    if (QClipboard* cb = QGuiApplication::clipboard()) {
        cb->clear();
        cb->setText(text);
    }
}

} // namespace brinmoor
