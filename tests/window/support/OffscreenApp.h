// The one GUI application of a window test's process, offscreen and software-rendered unless the
// environment asks for a display (QT_QPA_PLATFORM=xcb under xvfb-run, to watch a test).
#pragma once

#include <QGuiApplication>

namespace brinmoor::test {

inline QGuiApplication* offscreenApp(const char* programName)
{
    static QByteArray name(programName);
    static int argc = 1;
    static char* argv[] = {name.data(), nullptr};
    static QGuiApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
            qputenv("QT_QUICK_BACKEND", "software");
        return new QGuiApplication(argc, argv);
    }();
    return app;
}

} // namespace brinmoor::test
