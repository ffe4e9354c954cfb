#pragma once

#include "ChatModels.h"
#include "Models.h"
#include "SidecarTools.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

class SidecarProcess;

// When the usage monitor's delayed and repeating work runs. The real one uses GUI-thread timers;
// tests record the requests and run them when they choose.
struct UsageSchedule {
    std::function<void(int ms, QObject* context, std::function<void()> work)> after;  // once
    std::function<void(int ms, QObject* context, std::function<void()> work)> every;  // repeating
    static UsageSchedule real();
};

// The usage limits of one provider account, polled through a long-lived usage-only sidecar (the
// same script as a chat pane's, started in the home folder with no conversation).
class UsageService : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Use UsageServices.claude or UsageServices.codex")
    Q_PROPERTY(QVariantList metrics READ metricsVariant NOTIFY metricsChanged)
    // Usage can be shown for this account.
    Q_PROPERTY(bool available READ available NOTIFY availableChanged)
    // A request is outstanding and nothing is known yet.
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    // "" stands for none.
    Q_PROPERTY(QString email READ emailText NOTIFY emailChanged)
    Q_PROPERTY(QString subscription READ subscriptionText NOTIFY subscriptionChanged)
    Q_PROPERTY(QString provider READ providerText CONSTANT)
public:
    // Retries after start() while no metrics have come, the end of the warm-up, and the poll.
    static constexpr int retryDelaysMs[] = {2000, 5000, 11000, 22000};
    static constexpr int warmupMs = 25000;
    static constexpr int pollMs = 60000;

    // The Claude account's service and the Codex account's, each made once.
    static UsageService& shared();
    static UsageService& codex();

    explicit UsageService(ChatProvider provider, QObject* parent = nullptr);
    // Lets the sidecar go (it is asked to quit and ended if it stays).
    ~UsageService() override;

    void setTools(const SidecarTools& tools) { m_tools = tools; }
    void setSchedule(const UsageSchedule& schedule) { m_schedule = schedule; }

    // Starts the sidecar, asks for usage, retries during the warm-up, and polls every minute
    // (one timer however often it is called).
    Q_INVOKABLE void start();
    // Asks for usage now (launching the sidecar when none runs).
    Q_INVOKABLE void refresh();

    QList<UsageMetric> metrics() const { return m_metrics; }
    QVariantList metricsVariant() const { return records::toVariantList(m_metrics); }
    bool available() const { return m_available; }
    bool loading() const { return m_loading; }
    std::optional<QString> email() const { return m_email; }
    QString emailText() const { return m_email.value_or(QString()); }
    std::optional<QString> subscription() const { return m_subscription; }
    QString subscriptionText() const { return m_subscription.value_or(QString()); }
    ChatProvider provider() const { return m_provider; }
    QString providerText() const { return rawValue(m_provider); }
    bool warmupDone() const { return m_warmupDone; }
    bool running() const { return m_process != nullptr; }
    qint64 processId() const;

    // Applies one "usage" report (the warm-up gate included).
    void applyUsage(const QList<UsageMetric>& metrics, bool available, const std::optional<QString>& email,
                    const std::optional<QString>& subscription);

signals:
    void metricsChanged();
    void availableChanged();
    void loadingChanged();
    void emailChanged();
    void subscriptionChanged();

private:
    // Starts the search and launch when no sidecar runs or is being started.
    void ensureRunning();
    void launch(const QString& node, const QString& script, const QString& tool);
    void unavailable();
    void setLoading(bool on);
    void setAvailable(bool on);

    ChatProvider m_provider;
    QList<UsageMetric> m_metrics;
    bool m_available = true;
    bool m_loading = false;
    std::optional<QString> m_email;
    std::optional<QString> m_subscription;
    SidecarProcess* m_process = nullptr;
    bool m_searching = false;
    bool m_launched = false;         // the process reported it started; commands go straight out
    bool m_refreshPending = false;   // a refresh came while the sidecar was being found or started
    bool m_timerSet = false;
    bool m_warmupDone = false;
    SidecarTools m_tools = SidecarTools::real();
    UsageSchedule m_schedule = UsageSchedule::real();
};

// The two usage services for QML.
class UsageServices : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(brinmoor::UsageService* claude READ claude CONSTANT)
    Q_PROPERTY(brinmoor::UsageService* codex READ codex CONSTANT)
public:
    static UsageServices* create(QQmlEngine*, QJSEngine*);
    UsageService* claude() const { return &UsageService::shared(); }
    UsageService* codex() const { return &UsageService::codex(); }

private:
    UsageServices() = default;
};

} // namespace brinmoor
