#include "InstanceLock.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>
#include <QWindow>

#include <cerrno>
#include <csignal>

namespace brinmoor {

namespace {

const char kComeForward[] = "activate\n";
const char kComing[] = "ok\n";

} // namespace

InstanceLock::InstanceLock(const QString& folder, QObject* parent) : QObject(parent), m_folder(folder)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &InstanceLock::stopAnswering);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                // Anything but the one request is ignored; the peer is dropped either way. The
                // answer tells the asker that a live instance heard it.
                if (peer->readAll().startsWith(kComeForward)) {
                    peer->write(kComing);
                    peer->flush();
                    emit activationRequested();
                }
                peer->disconnectFromServer();
            });
        }
    });
}

InstanceLock::~InstanceLock()
{
    m_server.close();
    if (m_lock)
        m_lock->unlock();
}

QString InstanceLock::lockPath() const
{
    return m_folder + QStringLiteral("/instance.lock");
}

QString InstanceLock::serverName(const QString& folder)
{
    // Socket paths are short (about 100 bytes), so the folder is named by a digest; the user id
    // keeps two users' instances apart in the shared temporary folder.
    const QByteArray key = QDir(folder).canonicalPath().toUtf8() + '\0' + qgetenv("USER");
    return QStringLiteral("brinmoor-")
         + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

InstanceLock::Outcome InstanceLock::acquire(int waitMs)
{
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return Outcome::Failed;
    m_lock = std::make_unique<QLockFile>(lockPath());
    // Stale only when its process is gone: an instance may run for weeks.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen();
        return Outcome::Acquired;
    }
    if (m_lock->error() != QLockFile::LockFailedError)
        return Outcome::Failed;
    // The holder that does not answer is most likely quitting (it stopped listening, and its
    // panes' processes are being ended), or a start at the same moment whose socket does not
    // listen yet: either lets go of the lock or answers soon. Just after an instance was killed,
    // a child it forked may still hold the socket for a moment (until it execs); it never
    // answers, and the lock becomes free once it lets go.
    const QString name = serverName(m_folder);
    const QDeadlineTimer deadline(waitMs);
    while (!askToComeForward(name)) {
        if (m_lock->tryLock(0)) {
            listen();
            return Outcome::Acquired;
        }
        if (deadline.hasExpired()) {
            // A holder that is gone left a lock nobody can take: the app runs without the guard.
            // One still alive that neither answered nor let go is said to the caller, which must
            // not pass that off as the other copy having come forward.
            qint64 pid = 0;
            QString host, app;
            const bool known = m_lock->getLockInfo(&pid, &host, &app);
            return known && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH ? Outcome::Failed
                                                                                    : Outcome::NoAnswer;
        }
        QThread::msleep(50);
    }
    return Outcome::AnotherRuns;
}

void InstanceLock::stopAnswering()
{
    // Closing the server takes its socket name away, so a start asks no one and waits for the
    // lock, which goes when this object does.
    m_server.close();
}

void InstanceLock::bringForward(QWindow* window)
{
    if (!window)
        return;
    if (window->windowStates() & Qt::WindowMinimized)
        window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->requestActivate();
}

void InstanceLock::listen()
{
    const QString name = serverName(m_folder);
    // Holding the lock, any socket of that name is a dead instance's leftover.
    QLocalServer::removeServer(name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(name);
}

bool InstanceLock::askToComeForward(const QString& name)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(500))
        return false;
    socket.write(kComeForward);
    if (!socket.waitForBytesWritten(500))
        return false;
    // Only a live instance answers.
    QByteArray reply;
    const QDeadlineTimer deadline(1000);
    while (!reply.contains('\n') && !deadline.hasExpired()
           && (socket.bytesAvailable() > 0 || socket.waitForReadyRead(int(deadline.remainingTime()))))
        reply += socket.readAll();
    return reply.startsWith(kComing);
}

} // namespace brinmoor
