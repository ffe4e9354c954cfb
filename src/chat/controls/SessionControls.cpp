#include "SessionControls.h"

#include "AppModel.h"

#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace brinmoor {

namespace {

QVariantMap mode(const char* title, const char* id, const char* icon, const char* desc)
{
    return {{"title", QString::fromUtf8(title)}, {"mode", QString::fromUtf8(id)},
            {"icon", QString::fromUtf8(icon)}, {"desc", QString::fromUtf8(desc)}};
}

bool isCodex(const QString& provider)
{
    return provider == QLatin1String("codex");
}

QString capitalised(const QString& text)
{
    QString out = text.toLower();
    bool start = true;
    for (QChar& c : out) {
        if (start && c.isLetter())
            c = c.toUpper();
        start = c.isSpace();
    }
    return out;
}

} // namespace

QVariantList SessionControls::modes(const QString& provider)
{
    if (isCodex(provider))
        return {
            mode("Ask before running", "default", "hand.raised", "Read-only sandbox — nothing is changed until you pick Auto"),
            mode("Auto in sandbox", "acceptEdits", "chevron.left.forwardslash.chevron.right", "Runs in a workspace sandbox without asking"),
            mode("Plan mode", "plan", "list.bullet.rectangle", "Read-only sandbox — explore before changing"),
            mode("Full access", "bypassPermissions", "arrow.triangle.branch", "No approval, full disk access (danger)"),
        };
    return {
        mode("Ask before edits", "default", "hand.raised", "Claude asks for approval before each edit"),
        mode("Edit automatically", "acceptEdits", "chevron.left.forwardslash.chevron.right", "Claude edits files without asking"),
        mode("Plan mode", "plan", "list.bullet.rectangle", "Explore and present a plan before editing"),
        mode("Auto mode", "auto", "bolt", "Claude picks the best permission mode per task"),
        mode("Bypass permissions", "bypassPermissions", "arrow.triangle.branch", "No approval before potentially dangerous commands"),
    };
}

QVariantList SessionControls::models(const QString& provider)
{
    const auto row = [](const char* label, const char* id) {
        return QVariantMap{{"label", QString::fromUtf8(label)}, {"id", QString::fromUtf8(id)}};
    };
    if (isCodex(provider))
        return {row("GPT-5.5", "gpt-5.5"), row("GPT-5.4", "gpt-5.4"), row("GPT-5.4 Mini", "gpt-5.4-mini")};
    return {row("Fable", "fable"), row("Opus 4.8", "claude-opus-4-8"), row("Sonnet 4.6", "claude-sonnet-4-6"),
            row("Haiku 4.5", "claude-haiku-4-5-20251001")};
}

QVariantList SessionControls::efforts()
{
    const auto row = [](const char* value, const char* label) {
        return QVariantMap{{"value", QString::fromUtf8(value)}, {"label", QString::fromUtf8(label)}};
    };
    return {row("low", "Low"), row("medium", "Med"), row("high", "High"), row("xhigh", "XHigh"), row("max", "Max")};
}

QString SessionControls::prettyModel(const QString& id)
{
    QString base = id;
    if (const qsizetype bracket = base.indexOf(u'['); bracket >= 0)
        base = base.left(bracket);
    if (!base.startsWith(QLatin1String("claude-")))
        return base;
    const QStringList parts = QString(base).remove(QStringLiteral("claude-")).split(u'-', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return id;
    const QString name = capitalised(parts.first());
    QStringList version;
    for (qsizetype i = 1; i < qMin<qsizetype>(3, parts.size()); ++i) {
        const QString& p = parts.at(i);
        if (!p.isEmpty() && std::all_of(p.begin(), p.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
            version << p;
    }
    return version.isEmpty() ? name : name + u' ' + version.join(u'.');
}

QString SessionControls::activeModel(const QString& model, const QString& resolvedModel)
{
    return model.isEmpty() ? resolvedModel : model;
}

QString SessionControls::modelLabel(const QString& provider, const QString& active)
{
    if (active.isEmpty())
        return QStringLiteral("Model");
    const QString pretty = prettyModel(active);
    for (const QVariant& row : models(provider))
        if (prettyModel(row.toMap().value("id").toString()) == pretty)
            return row.toMap().value("label").toString();
    return pretty;
}

bool SessionControls::isActiveModel(const QString& rowId, const QString& active)
{
    return !active.isEmpty() && prettyModel(rowId) == prettyModel(active);
}

QVariantMap SessionControls::currentMode(const QString& provider, const QString& permissionMode)
{
    const QVariantList rows = modes(provider);
    for (const QVariant& row : rows)
        if (row.toMap().value("mode").toString() == permissionMode)
            return row.toMap();
    return rows.first().toMap();
}

QString SessionControls::effortLabel(const QString& effort)
{
    if (effort.isEmpty())
        return QStringLiteral("High");
    for (const QVariant& row : efforts())
        if (row.toMap().value("value").toString() == effort)
            return row.toMap().value("label").toString();
    return capitalised(effort);
}

int SessionControls::contextPercent(qint64 tokens, qint64 window)
{
    const double w = double(qMax<qint64>(window, 1));
    return int(qMin(100.0, std::trunc(double(tokens) / w * 100.0)));
}

QString SessionControls::gaugeLevel(int percent)
{
    if (percent >= 90)
        return QStringLiteral("alert");
    if (percent >= 70)
        return QStringLiteral("warning");
    return QStringLiteral("normal");
}

QString SessionControls::gaugeTooltip(qint64 tokens, qint64 window, bool autoCompact, qint64 threshold)
{
    const double w = double(qMax<qint64>(window, 1));
    QString text = QStringLiteral("Context %1% of %2").arg(contextPercent(tokens, window)).arg(window / 1000);
    if (autoCompact)
        text += QStringLiteral("k — auto-compacts at %1%").arg(qint64(std::trunc(double(threshold) / w * 100.0)));
    else
        text += QStringLiteral("k — type /compact to summarize");
    return text;
}

void SessionControls::chooseMode(QObject* session, const QString& mode)
{
    if (session && session->property("permissionMode").toString() != mode)
        QMetaObject::invokeMethod(session, "setPermissionMode", Q_ARG(QString, mode));
}

void SessionControls::chooseModel(QObject* session, const QString& id)
{
    if (session && session->property("model").toString() != id)
        QMetaObject::invokeMethod(session, "setModel", Q_ARG(QString, id));
}

void SessionControls::chooseEffort(QObject* session, const QString& effort)
{
    if (session && session->property("effort").toString() != effort)
        QMetaObject::invokeMethod(session, "setEffort", Q_ARG(QString, effort));
}

void SessionControls::setAutoCompact(QObject* session, bool on)
{
    if (!session)
        return;
    session->setProperty("autoCompact", on);
    AppModel* app = AppModel::instance();
    app->setAutoCompact(session->property("paneId").toString(), on);
    app->save();
}

QUrl SessionControls::attachFolder(QObject* session)
{
    QString folder;
    if (session)
        QMetaObject::invokeMethod(session, "expandedDirectory", Q_RETURN_ARG(QString, folder));
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return QUrl::fromLocalFile(folder);
}

} // namespace brinmoor
