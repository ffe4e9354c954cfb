#include "StallWatch.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace brinmoor {

StallWatch::StallWatch(const QString& logPath, int thresholdMs, QObject* parent)
    : QObject(parent), m_log(logPath), m_thresholdMs(thresholdMs)
{
    if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        std::fprintf(stderr, "brinmoor: cannot write the stall log %s\n", qPrintable(logPath));
#ifdef Q_OS_LINUX
    // Opened here, on the thread being watched: thread-self names the opener.
    m_schedFd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
#endif
    m_readyAtTick = readyNs();
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StallWatch::tick);
    m_timer.start();
    m_since.start();
    // Tearing the window down is no stall anyone waits on: the watch ends when the loop does.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &StallWatch::finish);
}

StallWatch::~StallWatch()
{
    finish();
#ifdef Q_OS_LINUX
    if (m_schedFd >= 0)
        ::close(m_schedFd);
#endif
}

StallWatch* StallWatch::fromEnvironment(QObject* parent)
{
    const QString path = qEnvironmentVariable("BRINMOOR_STALL_LOG");
    if (path.isEmpty())
        return nullptr;
    bool ok = false;
    const int threshold = qEnvironmentVariableIntValue("BRINMOOR_STALL_MS", &ok);
    return new StallWatch(path, ok && threshold > 0 ? threshold : 16, parent);
}

void StallWatch::finish()
{
    if (!m_timer.isActive())
        return;
    tick();  // a stall in progress as the loop ends counts too
    m_timer.stop();
    write("longest", m_longest);
}

void StallWatch::tick()
{
    const qint64 late = m_since.restart() - intervalMs;
    const qint64 ready = readyNs();
    const qint64 readyMs = (ready - m_readyAtTick) / 1000000;
    m_readyAtTick = ready;
    if (late < m_thresholdMs)
        return;
    const Stall stall{late, readyMs, QDateTime::currentMSecsSinceEpoch()};
    if (stall.ms > m_longest.ms)
        m_longest = stall;
    write("stall", stall);
}

void StallWatch::write(const char* what, const Stall& stall)
{
    if (!m_log.isOpen())
        return;
    m_log.write(QByteArray(what) + ' ' + QByteArray::number(stall.ms) + " ready " + QByteArray::number(stall.readyMs)
                + " ended " + QByteArray::number(stall.endedAt) + '\n');
    m_log.flush();  // read while the app runs
}

qint64 StallWatch::readyNs() const
{
#ifdef Q_OS_LINUX
    // "<ns on a CPU> <ns runnable, waiting for one> <time slices>"
    char text[96];
    if (m_schedFd < 0)
        return 0;
    const ssize_t n = ::pread(m_schedFd, text, sizeof text - 1, 0);
    if (n <= 0)
        return 0;
    text[n] = '\0';
    char* rest = nullptr;
    std::strtoll(text, &rest, 10);
    return std::strtoll(rest, nullptr, 10);
#else
    return 0;
#endif
}

} // namespace brinmoor
