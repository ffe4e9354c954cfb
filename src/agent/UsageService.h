#pragma once

#include "ChatModels.h"
#include "Models.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

// The usage limits of one provider account, polled through the usage sidecar.
//
// Stand-in until the agent sessions land: the usage sidecar never starts here, so start() and
// refresh() behave as they do when the sidecar cannot be started (nothing is requested and
// `metrics` stays empty). The published members are the final ones.
class UsageService : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Use UsageServices.claude or UsageServices.codex")
    Q_PROPERTY(QVariantList metrics READ metricsVariant NOTIFY metricsChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(QString provider READ providerText CONSTANT)
public:
    // The Claude account's service and the Codex account's, each made once.
    static UsageService& shared();
    static UsageService& codex();

    explicit UsageService(ChatProvider provider, QObject* parent = nullptr);

    Q_INVOKABLE void start();
    Q_INVOKABLE void refresh();

    QList<UsageMetric> metrics() const { return m_metrics; }
    QVariantList metricsVariant() const;
    bool loading() const { return m_loading; }
    ChatProvider provider() const { return m_provider; }
    QString providerText() const { return rawValue(m_provider); }

signals:
    void metricsChanged();
    void loadingChanged();

private:
    // Makes sure the usage sidecar runs; false when it cannot start.
    bool ensureRunning();

    ChatProvider m_provider;
    QList<UsageMetric> m_metrics;
    bool m_loading = false;
    QTimer* m_poll = nullptr;
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
