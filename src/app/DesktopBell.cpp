#include "DesktopBell.h"

#include "ReadThreads.h"

#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <chrono>

#if defined(BRINMOOR_HAVE_CANBERRA)
#include <canberra.h>
#endif
#if defined(BRINMOOR_HAVE_XCB)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

#ifndef BRINMOOR_BUNDLE_ID
#define BRINMOOR_BUNDLE_ID "brinmoor"
#endif

namespace brinmoor {

namespace {

QMutex ringerLock;
std::function<void()>& installedRinger()
{
    static std::function<void()> ringer;
    return ringer;
}

QMutex playerLock;
std::function<bool()>& installedPlayer()
{
    static std::function<bool()> player;
    return player;
}

std::atomic<int> soundTries{0};
std::atomic<int> soundFailures{0};
std::atomic<int> serverBells{0};
// A sound is being played (or waits for the sound thread): further rings are dropped.
std::atomic<bool> soundBusy{false};
// When the sound last failed, in milliseconds of the steady clock; -1: it has not.
std::atomic<qint64> soundFailedAt{-1};
// A failed sound is tried again after this long: the sound server may have come up meanwhile,
// and a bell a minute keeps the sound library's complaints on stderr to a few lines.
constexpr qint64 soundRetryMs = 60'000;

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool soundFailedLately()
{
    const qint64 failed = soundFailedAt.load();
    return failed >= 0 && steadyMs() - failed < soundRetryMs;
}

// The threads sounds play on, one at a time (soundBusy): made for each sound and ended with it,
// and kept to the end of the process, so that quitting never waits for a sound server.
ReadThreads& soundThreads()
{
    static auto* const threads = new ReadThreads;
    return *threads;
}

#if defined(BRINMOOR_HAVE_CANBERRA)
// One context for the whole process, made on the sound thread on first use: opening it connects
// to the sound server, which is too slow to do per bell. Made again on a later try when it could
// not be opened.
ca_context* soundContext()
{
    static ca_context* context = nullptr;
    if (context)
        return context;
    ca_context* c = nullptr;
    if (ca_context_create(&c) != CA_SUCCESS)
        return nullptr;
    ca_context_change_props(c, CA_PROP_APPLICATION_NAME, "Brinmoor", CA_PROP_APPLICATION_ID, BRINMOOR_BUNDLE_ID,
                            nullptr);
    if (ca_context_open(c) != CA_SUCCESS) {
        ca_context_destroy(c);
        return nullptr;
    }
    context = c;
    return context;
}
#endif

// The sound theme's bell; false when it could not play.
bool playThemeBell()
{
#if defined(BRINMOOR_HAVE_CANBERRA)
    if (ca_context* c = soundContext()) {
        // The theme's sample stays cached in the sound server: a bell repeated by a program
        // does not reload it each time.
        return ca_context_play(c, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION, "Bell",
                               CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr)
               == CA_SUCCESS;
    }
#endif
    return false;
}

bool hasSoundPlayer()
{
#if defined(BRINMOOR_HAVE_CANBERRA)
    return true;
#else
    QMutexLocker lock(&playerLock);
    return bool(installedPlayer());
#endif
}

// The X server's bell, on the GUI thread (it is one request on the application's connection).
bool ringServerBell()
{
    ++serverBells;
#if defined(BRINMOOR_HAVE_XCB)
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>()) {
            if (xcb_connection_t* connection = x11->connection()) {
                // 0: the volume the user set for the bell.
                xcb_bell(connection, 0);
                xcb_flush(connection);
                return true;
            }
        }
    }
#endif
    return false;
}

void playOnSoundThread()
{
    std::function<bool()> player;
    {
        QMutexLocker lock(&playerLock);
        player = installedPlayer();
    }
    ++soundTries;
    const bool played = player ? player() : playThemeBell();
    if (!played) {
        ++soundFailures;
        soundFailedAt = steadyMs();
        // This bell still rings, on the server.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [] { ringServerBell(); }, Qt::QueuedConnection);
    }
    soundBusy = false;
}

} // namespace

std::function<void()> DesktopBell::setRinger(std::function<void()> ringer)
{
    QMutexLocker lock(&ringerLock);
    std::swap(installedRinger(), ringer);
    return ringer;
}

std::function<bool()> DesktopBell::setSoundPlayer(std::function<bool()> player)
{
    QMutexLocker lock(&playerLock);
    std::swap(installedPlayer(), player);
    return player;
}

DesktopBell::Counts DesktopBell::counts()
{
    return {soundTries.load(), soundFailures.load(), serverBells.load()};
}

void DesktopBell::resetSoundFailure()
{
    soundFailedAt = -1;
}

void DesktopBell::ring()
{
    std::function<void()> ringer;
    {
        QMutexLocker lock(&ringerLock);
        ringer = installedRinger();
    }
    if (ringer)
        ringer();
    else
        ringDesktop();
}

bool DesktopBell::ringDesktop()
{
    if (hasSoundPlayer() && !soundFailedLately()) {
        // One sound at a time: a bell while one plays would not be heard apart from it.
        if (soundBusy.exchange(true))
            return true;
        if (soundThreads().start(playOnSoundThread))
            return true;
        // No thread to play it on (the task limit reached): this bell rings on the server, and
        // the next one tries for a thread again. A pool kept the refused thread as busy, and
        // soundBusy with it: no sound played again.
        soundBusy = false;
    }
    return ringServerBell();
}

} // namespace brinmoor
