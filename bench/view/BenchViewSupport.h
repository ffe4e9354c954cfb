// Helpers shared by the terminal view benchmarks (included, not built on its own).
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace benchview {

// Creates the one QGuiApplication of the run (offscreen unless QT_QPA_PLATFORM says otherwise).
inline void ensureGuiApp(const char* programName)
{
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QByteArray name(programName);
    static int argc = 1;
    static char* argv[] = {name.data(), nullptr};
    new QGuiApplication(argc, argv);
}

// Runs the event loop for ms milliseconds.
inline void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// User plus system CPU time of this process so far.
inline double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for ms milliseconds as the iteration's (manual) time and records the
// process's CPU use over that time, in percent of one core, as the counter "cpu%".
inline void measureIdle(benchmark::State& state, int ms)
{
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    spin(ms);
    const double wall = t.nsecsElapsed() / 1e9;
    state.SetIterationTime(wall);
    state.counters["cpu%"] = 100.0 * (cpuSeconds() - cpu0) / wall;
}

} // namespace benchview
