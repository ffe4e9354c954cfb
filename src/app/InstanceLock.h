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
// that is gone (a crash, kill -9) is taken over. An instance that is quitting stops listening
// first, so a start meanwhile is not sent away by a copy with no window left to raise: it waits
// (bounded) for the lock to be let go and becomes the instance.
class InstanceLock : public QObject {
    Q_OBJECT
public:
    explicit InstanceLock(const QString& folder, QObject* parent = nullptr);
    ~InstanceLock() override;

    enum class Outcome {
        Acquired,       // this process is now the folder's instance
        AnotherRuns,    // a live instance holds the folder; it was asked to come forward
        NoAnswer,       // a live process holds the folder but neither answered nor let go in time
        Failed,         // the lock file could not be written (no data folder, no permission)
    };
    // How long a start waits for a holder that does not answer (one that is quitting) to let go.
    static constexpr int defaultWaitMs = 10000;
    Outcome acquire(int waitMs = defaultWaitMs);

    // This instance is quitting: a later start is answered no more and waits for the lock
    // instead. Called on the application's aboutToQuit by itself; callable earlier (the last
    // window closed), and more than once.
    void stopAnswering();

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
