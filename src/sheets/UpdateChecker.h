#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

// Checks the web service for a newer version, downloads and installs it.
//
// Stand-in until the updates land: check() works out the manifest address and requests
// nothing, so `available` and `ready` stay false; install() opens the release page when one is
// known. The published members and start()'s schedule are the final ones.
class UpdateChecker : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool available READ available NOTIFY availableChanged)
    Q_PROPERTY(QString latestVersion READ latestVersion NOTIFY latestVersionChanged)
    Q_PROPERTY(bool downloading READ downloading NOTIFY downloadingChanged)
    Q_PROPERTY(bool ready READ ready NOTIFY readyChanged)
    Q_PROPERTY(QUrl pageURL READ pageURL NOTIFY pageURLChanged)
public:
    static UpdateChecker& shared();
    static UpdateChecker* create(QQmlEngine*, QJSEngine*);

    // Checks at once; the first call also schedules a check every six hours.
    Q_INVOKABLE void start();
    // Requests the version manifest ("api/app/version" below the configured base address).
    Q_INVOKABLE void check();
    // Installs a ready update, else opens the release page when one is known.
    Q_INVOKABLE void install();

    // The manifest address a check asks for.
    static QString manifestURL();
    // How many checks ran (the timer's included).
    int checkCount() const { return m_checks; }
    bool isScheduled() const { return m_timer != nullptr; }

    bool available() const { return m_available; }
    QString latestVersion() const { return m_latestVersion; }
    bool downloading() const { return m_downloading; }
    bool ready() const { return m_ready; }
    QUrl pageURL() const { return m_pageURL; }

    static constexpr int checkIntervalSeconds = 21600;

signals:
    void availableChanged();
    void latestVersionChanged();
    void downloadingChanged();
    void readyChanged();
    void pageURLChanged();

private:
    UpdateChecker() = default;

    bool m_available = false;
    QString m_latestVersion;
    bool m_downloading = false;
    bool m_ready = false;
    QUrl m_pageURL;
    QTimer* m_timer = nullptr;
    int m_checks = 0;
};

} // namespace brinmoor
