// What every Qt test shares: waiting for a condition, and a private HOME with its XDG folders.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace brinmoor::test {

// Runs the event loop until `done` holds or `ms` pass; returns `done()`. The default is long:
// a loaded machine is slow, and a condition that holds returns at once.
inline bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        // A nested loop, so deleteLater() and queued calls run as they would in the app.
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Points HOME and the XDG folders (config, data, cache; the runtime folder when none is set)
// below `root`, so nothing touches the real user's files. A plain /bin/sh stands in for the
// user's shell and its profile.
inline void useSandboxHome(const QString& root)
{
    const QByteArray r = QFile::encodeName(root);
    for (const char* dir : {"/home", "/config", "/data", "/cache"})
        QDir().mkpath(root + QLatin1String(dir));
    qputenv("HOME", r + "/home");
    qputenv("XDG_CONFIG_HOME", r + "/config");
    qputenv("XDG_DATA_HOME", r + "/data");
    qputenv("XDG_CACHE_HOME", r + "/cache");
    qputenv("SHELL", "/bin/sh");
    qputenv("ENV", "");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QDir().mkpath(root + "/runtime");
        QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", r + "/runtime");
    }
}

} // namespace brinmoor::test
