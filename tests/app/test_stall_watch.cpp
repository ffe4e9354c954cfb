// The GUI thread's stall log: a loop that does not turn for a while is written down, with the
// longest stall as the loop ends; without the variable nothing is watched.
#include "StallWatch.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QStringList logLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// "<what> <ms> ready <ms> ended <epoch ms>"
qint64 field(const QString& line, int index) { return line.split(u' ').value(index).toLongLong(); }

} // namespace

TEST(StallWatch, a_busy_loop_is_logged_as_it_ends_and_the_longest_as_the_loop_ends)
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("stalls.log"));

    qunsetenv("BRINMOOR_STALL_LOG");
    EXPECT_EQ(brinmoor::StallWatch::fromEnvironment(&app), nullptr);

    qputenv("BRINMOOR_STALL_LOG", log.toUtf8());
    qputenv("BRINMOOR_STALL_MS", "30");
    auto* watch = brinmoor::StallWatch::fromEnvironment(&app);
    ASSERT_NE(watch, nullptr);
    qunsetenv("BRINMOOR_STALL_LOG");
    qunsetenv("BRINMOOR_STALL_MS");

    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QTimer::singleShot(0, &app, [] {
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 120) {
        }
    });
    // Quit once the stall is on file: the loop ends, and with it the watch.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (!logLines(log).isEmpty())
            app.quit();
    });
    poll.start(5);
    QTimer::singleShot(10000, &app, &QCoreApplication::quit);
    app.exec();

    const QStringList lines = logLines(log);
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("stall "))) << lines[0].toStdString();
    EXPECT_GE(field(lines[0], 1), 100);
    EXPECT_GE(field(lines[0], 3), 0);  // the time waiting for a CPU is part of the stall
    EXPECT_LE(field(lines[0], 3), field(lines[0], 1) + 5);
    EXPECT_GE(field(lines[0], 5), before + 100);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("longest "))) << lines[1].toStdString();
    EXPECT_EQ(lines[1].mid(8), lines[0].mid(6));
    EXPECT_EQ(watch->longestMs(), field(lines[0], 1));
}
