// One instance per data folder, with real processes: this test process holds the folder as the
// running instance, and the brinmoor executable is started beside it.
#include "AppInfo.h"
#include "InstanceLock.h"
#include "Store.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QWindow>

#include <csignal>

BRINMOOR_APP_TEST_ENVIRONMENT();

using brinmoor::InstanceLock;
using brinmoor::test::waitUntil;

namespace {

const QByteArray kState = R"({ "recents" : [], "workspaces" : [ { "bigSideLeft" : false, "colorHex" : "5b8cee",
  "id" : "1D000000-0000-4000-8000-000000000001", "maxRows" : 4, "name" : "Kept", "sessions" : [] } ] })";

// The app, started on the data folder this process points at; nothing of it reaches the network.
void startApp(QProcess& app)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("BRINMOOR_API", "http://127.0.0.1:9");
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(BRINMOOR_BINARY_DIR "/bin/brinmoor"), {});
}

} // namespace

TEST(InstanceLock, a_second_start_brings_the_first_forward_and_leaves_the_state_alone)
{
    brinmoor::test::ScopedDataHome home;
    home.writeState(kState, brinmoor::AppInfo::isDev());
    const QString folder = brinmoor::Store::forThisBuild().folderPath();
    const QFileInfo before(home.statePath(brinmoor::AppInfo::isDev()));

    InstanceLock first(folder);
    ASSERT_EQ(first.acquire(), InstanceLock::Outcome::Acquired);
    QWindow window;
    window.show();
    window.setWindowStates(Qt::WindowMinimized);
    int requests = 0;
    QObject::connect(&first, &InstanceLock::activationRequested, &window, [&] {
        ++requests;
        InstanceLock::bringForward(&window);
    });

    QProcess second;
    startApp(second);
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return requests == 1; }, 2000));
    EXPECT_FALSE(window.windowStates() & Qt::WindowMinimized);

    EXPECT_EQ(home.readState(brinmoor::AppInfo::isDev()), kState);
    EXPECT_EQ(QFileInfo(before.filePath()).lastModified(), before.lastModified());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), QStringList({"instance.lock", "state.json"}));

    // Garbage on the socket is no request.
    QLocalSocket stray;
    stray.connectToServer(InstanceLock::serverName(folder));
    ASSERT_TRUE(stray.waitForConnected(2000));
    stray.write("\x01\xff garbage\n");
    stray.flush();
    EXPECT_TRUE(waitUntil([&] { return stray.state() == QLocalSocket::UnconnectedState; }, 3000));
    EXPECT_EQ(requests, 1);
}

TEST(InstanceLock, the_lock_of_a_killed_instance_is_taken_over)
{
    brinmoor::test::ScopedDataHome home;
    home.writeState(kState, brinmoor::AppInfo::isDev());
    const QString folder = brinmoor::Store::forThisBuild().folderPath();
    QProcess app;
    startApp(app);
    ASSERT_TRUE(app.waitForStarted());
    QLocalSocket probe;
    // The app is the instance once its socket answers.
    ASSERT_TRUE(waitUntil([&] {
        probe.abort();
        probe.connectToServer(InstanceLock::serverName(folder));
        return probe.waitForConnected(100);
    }));
    probe.abort();
    InstanceLock held(folder);
    EXPECT_EQ(held.acquire(), InstanceLock::Outcome::AnotherRuns);

    ::kill(pid_t(app.processId()), SIGKILL);
    ASSERT_TRUE(app.waitForFinished());
    InstanceLock next(folder);
    EXPECT_EQ(next.acquire(), InstanceLock::Outcome::Acquired);
}

// A copy that is quitting (it holds the lock while its panes' processes end, and no longer
// answers) makes a start wait for it, bounded, and that start then opens its own window: it never
// ends with success and nothing shown. A holder that neither answers nor lets go in time is said
// to be one, not taken for an answer.
TEST(InstanceLock, a_start_while_a_copy_quits_waits_for_it_and_becomes_the_instance)
{
    brinmoor::test::ScopedDataHome home;
    home.writeState(kState, brinmoor::AppInfo::isDev());
    const QString folder = brinmoor::Store::forThisBuild().folderPath();
    ASSERT_TRUE(QDir().mkpath(folder));
    QLockFile quitting(folder + QStringLiteral("/instance.lock"));
    quitting.setStaleLockTime(0);
    ASSERT_TRUE(quitting.tryLock(0));

    InstanceLock impatient(folder);
    EXPECT_EQ(impatient.acquire(300), InstanceLock::Outcome::NoAnswer);

    QProcess second;
    startApp(second);
    ASSERT_TRUE(second.waitForStarted());
    // The quitting copy takes a few seconds to let go, as one with many panes may; a start that
    // gave up meanwhile has ended by then.
    QElapsedTimer quitTime;
    quitTime.start();
    waitUntil([&] { return second.state() == QProcess::NotRunning || quitTime.elapsed() >= 4000; }, 6000);
    quitting.unlock();
    ASSERT_EQ(second.state(), QProcess::Running) << "the start ended with status " << second.exitCode()
                                                 << " while the other copy quit";
    // It is the instance now: its socket answers, and a third start is sent to it.
    QLocalSocket probe;
    EXPECT_TRUE(waitUntil([&] {
        probe.abort();
        probe.connectToServer(InstanceLock::serverName(folder));
        return probe.waitForConnected(100);
    }, 10000));
    probe.abort();
    InstanceLock third(folder);
    EXPECT_EQ(third.acquire(), InstanceLock::Outcome::AnotherRuns);
    second.terminate();
    EXPECT_TRUE(second.waitForFinished());
}
