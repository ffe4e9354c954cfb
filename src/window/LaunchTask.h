#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace brinmoor {

class AppModel;

// The services the main window starts when it is shown.
struct LaunchServices {
    std::function<void()> startUsage;    // the Claude account's usage monitor
    std::function<void()> startUpdater;  // the update checker (its timer is installed once)
    std::function<bool()> codexKnown;    // a Codex detection result exists already
    std::function<void()> detectCodex;   // runs the Codex detection (asynchronous)
};

// The main window's launch task: usage monitor, then update checker, then the Codex detection
// unless its result is already known. It runs each time the main window is shown anew.
class LaunchTask : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit LaunchTask(QObject* parent = nullptr) : QObject(parent) {}

    static void run(const LaunchServices& services);
    // The real services: UsageService::shared(), UpdateChecker::shared() and `model`'s detection.
    static LaunchServices liveServices(AppModel& model);

    // Runs the task with the real services on the shared model.
    Q_INVOKABLE void runNow() const;
};

} // namespace brinmoor
