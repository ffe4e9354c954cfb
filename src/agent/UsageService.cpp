#include "UsageService.h"

#include "ClaudeSession.h"
#include "SidecarProcess.h"
#include "SidecarProtocol.h"

#include <QDir>
#include <QPointer>
#include <QQmlEngine>
#include <QTimer>

namespace brinmoor {

UsageSchedule UsageSchedule::real()
{
    UsageSchedule s;
    s.after = [](int ms, QObject* context, std::function<void()> work) {
        QTimer::singleShot(ms, context, std::move(work));
    };
    s.every = [](int ms, QObject* context, std::function<void()> work) {
        auto* t = new QTimer(context);
        t->setInterval(ms);
        QObject::connect(t, &QTimer::timeout, context, std::move(work));
        t->start();
    };
    return s;
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

UsageService::~UsageService()
{
    if (SidecarProcess* p = std::exchange(m_process, nullptr))
        p->release();
}

qint64 UsageService::processId() const
{
    return m_process ? m_process->pid() : 0;
}

void UsageService::start()
{
    ensureRunning();
    refresh();
    // The scheduled work is owned by this object (its context), so it ends with it.
    for (int ms : retryDelaysMs)
        m_schedule.after(ms, this, [this] {
            if (m_metrics.isEmpty())
                refresh();
        });
    m_schedule.after(warmupMs, this, [this] { m_warmupDone = true; });
    if (!m_timerSet) {
        m_timerSet = true;
        m_schedule.every(pollMs, this, [this] { refresh(); });
    }
}

void UsageService::refresh()
{
    ensureRunning();
    if (!m_process && !m_searching)
        return;  // the search or launch failed: the flags say so already
    if (m_metrics.isEmpty())
        setLoading(true);
    if (m_launched)
        m_process->write(SidecarCommand::getUsage());
    else
        m_refreshPending = true;
}

void UsageService::ensureRunning()
{
    if (m_process || m_searching)
        return;
    m_searching = true;
    // The usage monitor never prefers a path: it runs what the locator finds.
    m_tools.find(this, m_provider, std::nullopt, [this](const SidecarTools::Found& found) {
        m_searching = false;
        if (!found.node || !found.script || !found.tool)
            return unavailable();
        launch(*found.node, *found.script, *found.tool);
    });
}

void UsageService::launch(const QString& node, const QString& script, const QString& tool)
{
    auto* process = new SidecarProcess;
    m_process = process;
    m_launched = false;
    process->onStarted = [this, process, tool] {
        process->write(SidecarCommand::usageStart(m_provider, QDir::homePath(), tool));
        m_launched = true;
        if (std::exchange(m_refreshPending, false))
            process->write(SidecarCommand::getUsage());
    };
    process->onFailedToStart = [this, process](const QString&) {
        m_process = nullptr;
        process->release();
        unavailable();
    };
    process->onEvents = [this](const QList<SidecarEvent>& events) {
        for (const SidecarEvent& e : events)
            if (const auto* u = e.as<SidecarEvent::Usage>())
                applyUsage(u->metrics, u->available, u->email, u->subscription);
    };
    process->onExit = [this, process] {
        if (m_process == process)
            m_process = nullptr;
        m_launched = false;
        process->release();
    };
    process->start(node, script, QDir::homePath(), ClaudeSession::childEnvironment(node, tool));
}

void UsageService::unavailable()
{
    m_refreshPending = false;
    setAvailable(false);
    setLoading(false);
}

void UsageService::applyUsage(const QList<UsageMetric>& metrics, bool available, const std::optional<QString>& email,
                              const std::optional<QString>& subscription)
{
    if (!metrics.isEmpty()) {
        m_metrics = metrics;
        emit metricsChanged();
    }
    // Early "not available" answers come while the account is still being read: not shown.
    if (available || m_warmupDone)
        setAvailable(available);
    if (email && email != m_email) {
        m_email = email;
        emit emailChanged();
    }
    if (subscription && subscription != m_subscription) {
        m_subscription = subscription;
        emit subscriptionChanged();
    }
    if (!metrics.isEmpty() || m_warmupDone)
        setLoading(false);
}

void UsageService::setLoading(bool on)
{
    if (on == m_loading)
        return;
    m_loading = on;
    emit loadingChanged();
}

void UsageService::setAvailable(bool on)
{
    if (on == m_available)
        return;
    m_available = on;
    emit availableChanged();
}

UsageServices* UsageServices::create(QQmlEngine*, QJSEngine*)
{
    static UsageServices* instance = new UsageServices;
    QQmlEngine::setObjectOwnership(instance, QQmlEngine::CppOwnership);
    return instance;
}

} // namespace brinmoor
