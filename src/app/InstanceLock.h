#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QWindow;

namespace brinmoor {

// One running app per data folder. The instance that runs holds "instance.lock" in the folder
// and listens on a local socket named after the folder; a second start with the same folder
// finds the lock held, asks the running instance through that socket to bring its window
// forward, and gives up before it reads or writes anything else. A lock left behind by a process
// that is gone (a crash, kill -9) is taken over.
class InstanceLock : public QObject {
    Q_OBJECT
public:
    explicit InstanceLock(const QString& folder, QObject* parent = nullptr);
    ~InstanceLock() override;

    enum class Outcome {
        Acquired,       // this process is now the folder's instance
        AnotherRuns,    // a live instance holds the folder; it was asked to come forward
        Failed,         // the lock file could not be written (no data folder, no permission)
    };
    Outcome acquire();

    QString lockPath() const;
    // Shows a window in front: out of the minimised state, raised, and asking for the keyboard.
    static void bringForward(QWindow* window);
    // The name of the local socket for a folder (the same in every process of this user).
    static QString serverName(const QString& folder);

signals:
    // A second start asked this instance to bring its window to the front.
    void activationRequested();

private:
    void listen();
    static bool askToComeForward(const QString& name);

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};

} // namespace brinmoor
