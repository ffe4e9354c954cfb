#include "UsageService.h"

#include <QCoreApplication>
#include <QQmlEngine>

namespace brinmoor {

std::optional<QString> UsageMetric::resetsLabel(const QDateTime& now) const
{
    if (!resetsAt)
        return std::nullopt;
    QDateTime at = QDateTime::fromString(*resetsAt, Qt::ISODateWithMs);
    if (!at.isValid())
        at = QDateTime::fromString(*resetsAt, Qt::ISODate);
    if (!at.isValid())
        return std::nullopt;
    const qint64 s = now.msecsTo(at) / 1000;  // whole seconds, truncated
    if (s < 1)
        return QStringLiteral("Resets soon");
    if (s >= 86400)
        return QStringLiteral("Resets in %1d %2h").arg(s / 86400).arg((s % 86400) / 3600);
    if (s >= 3600)
        return QStringLiteral("Resets in %1h %2m").arg(s / 3600).arg((s % 3600) / 60);
    return QStringLiteral("Resets in %1m").arg(s / 60);
}

UsageService& UsageService::shared()
{
    static UsageService* service = new UsageService(ChatProvider::Claude);  // lives for the process
    return *service;
}

UsageService& UsageService::codex()
{
    static UsageService* service = new UsageService(ChatProvider::Codex);
    return *service;
}

UsageService::UsageService(ChatProvider provider, QObject* parent) : QObject(parent), m_provider(provider) {}

bool UsageService::ensureRunning()
{
    return false;  // no usage sidecar in this build yet
}

void UsageService::start()
{
    if (!ensureRunning())
        return;  // shows as the unavailable state; nothing reaches the caller
    refresh();
}

void UsageService::refresh()
{
    if (!ensureRunning())
        return;
}

QVariantList UsageService::metricsVariant() const
{
    QVariantList out;
    for (const UsageMetric& m : m_metrics)
        out.append(QVariant::fromValue(m));
    return out;
}

UsageServices* UsageServices::create(QQmlEngine*, QJSEngine*)
{
    static UsageServices* instance = new UsageServices;
    QQmlEngine::setObjectOwnership(instance, QQmlEngine::CppOwnership);
    return instance;
}

} // namespace brinmoor
