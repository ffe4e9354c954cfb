#include "UpdateHandshake.h"

#include <QFile>
#include <QQuickWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifndef BRINMOOR_VERSION
#define BRINMOOR_VERSION ""
#endif

namespace brinmoor::UpdateHandshake {

namespace {
constexpr const char* markerVariable = "BRINMOOR_UPDATE_MARKER";

QString& startMarker()
{
    static QString marker;
    return marker;
}

void writeBeside(const char* suffix, const QByteArray& text)
{
    if (startMarker().isEmpty())
        return;
    QFile file(startMarker() + QLatin1String(suffix));
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}
} // namespace

bool answerVersion(int argc, char** argv)
{
    if (argc != 2 || std::strcmp(argv[1], "--version") != 0)
        return false;
    const char* version = BRINMOOR_VERSION;
    std::printf("Brinmoor %s\n", *version ? version : "0");
    std::fflush(stdout);
    return true;
}

QString takeStartMarker()
{
    const QString marker = qEnvironmentVariable(markerVariable);
    qunsetenv(markerVariable);
    startMarker() = marker;
    return marker;
}

void confirmUserQuit()
{
    writeBeside(".quit", "quit\n");
}

void reportAnotherCopy()
{
    writeBeside(".another-copy", "another copy runs\n");
}

void confirmStartWhenShown(const QList<QObject*>& roots, const QString& marker)
{
    if (marker.isEmpty())
        return;
    for (QObject* root : roots) {
        auto* window = qobject_cast<QQuickWindow*>(root);
        if (!window)
            continue;
        // frameSwapped may come from the render thread; the context object brings it here.
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(window, &QQuickWindow::frameSwapped, window, [once, marker] {
            QObject::disconnect(*once);
            QFile file(marker);
            if (file.open(QIODevice::WriteOnly))
                file.write("started\n");
        });
        return;
    }
}

} // namespace brinmoor::UpdateHandshake
