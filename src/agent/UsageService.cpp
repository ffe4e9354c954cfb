#include "UsageService.h"

#include <QCoreApplication>
#include <QQmlEngine>

namespace brinmoor {

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
