#include "DesktopBell.h"

#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>

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

#if defined(BRINMOOR_HAVE_CANBERRA)
// One context for the whole process: opening it connects to the sound server, which is too slow
// to do per bell. Null when no backend could be opened.
ca_context* soundContext()
{
    static ca_context* context = [] {
        ca_context* c = nullptr;
        if (ca_context_create(&c) != CA_SUCCESS)
            return static_cast<ca_context*>(nullptr);
        ca_context_change_props(c, CA_PROP_APPLICATION_NAME, "Brinmoor", CA_PROP_APPLICATION_ID, BRINMOOR_BUNDLE_ID,
                                nullptr);
        if (ca_context_open(c) != CA_SUCCESS) {
            ca_context_destroy(c);
            return static_cast<ca_context*>(nullptr);
        }
        return c;
    }();
    return context;
}
#endif

} // namespace

std::function<void()> DesktopBell::setRinger(std::function<void()> ringer)
{
    QMutexLocker lock(&ringerLock);
    std::swap(installedRinger(), ringer);
    return ringer;
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
#if defined(BRINMOOR_HAVE_CANBERRA)
    if (ca_context* c = soundContext()) {
        // The theme's sample stays cached in the sound server: a bell repeated by a program
        // does not reload it each time.
        if (ca_context_play(c, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION, "Bell",
                            CA_PROP_CANBERRA_CACHE_CONTROL, "permanent", nullptr) == CA_SUCCESS)
            return true;
    }
#endif
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

} // namespace brinmoor
