// The local process on a pseudo-terminal: real children, real descriptors, real exits.
#include "LocalProcess.h"
#include "Terminal.h"
#include "Diagnostics.h"
#include "support/TestApp.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Recorder : LocalProcessDelegate {
    QByteArray data;
    std::vector<size_t> chunkSizes;
    std::vector<std::optional<int32_t>> exits;
    int sizeQueries = 0;
    size_t bytesAtExit = 0;
    winsize size = makeWindowSize(24, 80, 640, 480);
    std::function<void()> onExit;

    void processTerminated(LocalProcess&, std::optional<int32_t> exitCode) override
    {
        bytesAtExit = size_t(data.size());
        exits.push_back(exitCode);
        if (onExit)
            onExit();
    }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        chunkSizes.push_back(slice.size());
        data.append(reinterpret_cast<const char*>(slice.data()), qsizetype(slice.size()));
    }
    winsize getWindowSize() override
    {
        ++sizeQueries;
        return size;
    }
    bool exited() const { return !exits.empty(); }
};

// Runs `script` with /bin/sh on a fresh pseudo-terminal and waits for its exit report.
struct ShellRun {
    Recorder rec;
    LocalProcess process{&rec};
    explicit ShellRun(const QString& script, std::optional<QStringList> env = QStringList{"PATH=/usr/bin:/bin"})
    {
        process.startProcess("/bin/sh", {"-c", script}, env);
    }
    bool waitForExit(int ms = 15000) { return waitUntil([&] { return rec.exited(); }, ms); }
    QString text() const { return QString::fromUtf8(rec.data); }
};

int openDescriptorCount()
{
    int n = 0;
    DIR* d = ::opendir("/proc/self/fd");
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.')
            ++n;
    }
    ::closedir(d);
    return n - 1; // the directory's own descriptor
}

int threadCount()
{
    int n = 0;
    DIR* d = ::opendir("/proc/self/task");
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.')
            ++n;
    }
    ::closedir(d);
    return n;
}

long long addressSpaceKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// A resource limit lowered for as long as this lives.
struct LoweredLimit {
    int resource;
    rlimit saved{};
    LoweredLimit(int resource, rlim_t soft) : resource(resource)
    {
        ::getrlimit(resource, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = soft;
        ::setrlimit(resource, &lowered);
    }
    ~LoweredLimit() { ::setrlimit(resource, &saved); }
};

class LocalProcessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureGuiApp(); }
};

} // namespace

TEST_F(LocalProcessTest, exit_is_reported_once_as_the_raw_wait_status)
{
    ShellRun three("exit 3");
    ASSERT_TRUE(three.waitForExit());
    spin(50); // a window for a second exit notice that must not come
    ASSERT_EQ(three.rec.exits.size(), 1u);
    EXPECT_EQ(three.rec.exits[0], 768);
    EXPECT_FALSE(three.process.running());

    ShellRun zero("true");
    ASSERT_TRUE(zero.waitForExit());
    EXPECT_EQ(zero.rec.exits[0], 0);

    ShellRun killed("sleep 30");
    ASSERT_TRUE(waitUntil([&] { return killed.process.shellPid() > 0; }));
    ::kill(killed.process.shellPid(), SIGKILL);
    ASSERT_TRUE(killed.waitForExit());
    EXPECT_EQ(killed.rec.exits[0], 9);

    ShellRun terminated("sleep 30");
    terminated.process.terminate();
    ASSERT_TRUE(terminated.waitForExit());
    EXPECT_EQ(terminated.rec.exits[0], SIGTERM);
}

TEST_F(LocalProcessTest, argument_zero_and_environment_reach_the_child)
{
    // argv[0] as given, while the path executed is still the executable.
    Recorder rec;
    LocalProcess p(&rec);
    p.startProcess("/bin/sh", {"-c", "tr '\\0' '|' < /proc/$$/cmdline"}, QStringList{}, QString("-brinsh"));
    ASSERT_TRUE(waitUntil([&] { return rec.exited(); }));
    EXPECT_TRUE(rec.data.startsWith("-brinsh|-c|")) << rec.data.toStdString();

    Recorder rec2;
    LocalProcess p2(&rec2);
    p2.startProcess("/bin/sh", {"-c", "tr '\\0' '|' < /proc/$$/cmdline"}, QStringList{});
    ASSERT_TRUE(waitUntil([&] { return rec2.exited(); }));
    EXPECT_TRUE(rec2.data.startsWith("/bin/sh|-c|")) << rec2.data.toStdString();

    // No environment given: the engine's default list (its contents are the engine's tests') and
    // nothing else, no PATH, no SHELL.
    Recorder rec3;
    LocalProcess p3(&rec3);
    p3.startProcess("/usr/bin/env", {}, std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return rec3.exited(); }));
    QStringList want;
    for (const std::string& e : termcore::Terminal::getEnvironmentVariables(std::nullopt, true))
        want << QString::fromStdString(e);
    EXPECT_EQ(QString::fromUtf8(rec3.data).split("\r\n", Qt::SkipEmptyParts), want);
}

TEST_F(LocalProcessTest, sends_outside_a_running_child_are_dropped)
{
    Recorder rec;
    LocalProcess p(&rec);
    const uint8_t bytes[] = {'h', 'i'};
    p.send(bytes);
    EXPECT_EQ(p.sendCount, 0);
    EXPECT_EQ(p.childfd(), -1);

    p.startProcess("/bin/sh", {"-c", "exit 0"}, QStringList{});
    ASSERT_TRUE(waitUntil([&] { return rec.exited(); }));
    p.send(bytes);
    EXPECT_EQ(p.sendCount, 0);
    EXPECT_EQ(p.childfd(), -1);

    // A second start while running starts nothing and asks for no size.
    Recorder rec2;
    LocalProcess p2(&rec2);
    p2.startProcess("/bin/sh", {"-c", "sleep 30"}, QStringList{});
    pid_t first = p2.shellPid();
    p2.startProcess("/bin/sh", {"-c", "exit 1"}, QStringList{});
    EXPECT_EQ(p2.shellPid(), first);
    EXPECT_EQ(rec2.sizeQueries, 1);
    p2.terminate();
    ASSERT_TRUE(waitUntil([&] { return rec2.exited(); }));
}

TEST_F(LocalProcessTest, ten_megabytes_arrive_complete_in_order_and_before_the_exit)
{
    QTemporaryDir dir;
    QByteArray expected;
    expected.reserve(10 * 1024 * 1024);
    for (int i = 0; expected.size() < 10 * 1024 * 1024; ++i)
        expected += QByteArray::number(i).rightJustified(15, '.') + '|'; // no newline: the terminal would add CRs
    const QString path = dir.filePath("big");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(expected);
    f.close();

    ShellRun run("cat '" + path + "'");
    ASSERT_TRUE(run.waitForExit(60000));
    EXPECT_EQ(run.rec.exits[0], 0);
    ASSERT_EQ(run.rec.data.size(), expected.size());
    EXPECT_TRUE(run.rec.data == expected);
    EXPECT_EQ(run.rec.bytesAtExit, size_t(expected.size())) << "the exit overtook the output";
    EXPECT_GT(run.rec.chunkSizes.size(), 1u);
    for (size_t s : run.rec.chunkSizes)
        ASSERT_LE(s, size_t(LocalProcess::readSize));
}

TEST_F(LocalProcessTest, writes_never_block_and_arrive_whole)
{
    // The child reads nothing for a while; a megabyte must still be queued without blocking,
    // then delivered in full once it reads.
    ShellRun run("stty raw -echo; printf raw-ready; sleep 0.5; head -c 1000000 | wc -c");
    ASSERT_TRUE(waitUntil([&] { return run.text().contains("raw-ready"); })) << "the terminal is raw only then";
    QByteArray payload(1000000, 'x');
    run.process.send(payload);
    EXPECT_EQ(run.process.sendCount, 1);
    ASSERT_TRUE(run.waitForExit(30000));
    EXPECT_TRUE(run.text().contains("1000000")) << run.text().toStdString();
    EXPECT_EQ(run.process.total, 1000000);
}

TEST_F(LocalProcessTest, start_exit_cycles_leave_no_descriptor_behind)
{
    spin(20); // lets descriptors of earlier cases close first
    const int before = openDescriptorCount();
    for (int i = 0; i < 200; ++i) {
        Recorder rec;
        auto* p = new LocalProcess(&rec);
        p->startProcess("/bin/true", {}, QStringList{});
        ASSERT_TRUE(waitUntil([&] { return rec.exited(); })) << "cycle " << i;
        delete p;
    }
    EXPECT_TRUE(waitUntil([&] { return openDescriptorCount() == before; })) << openDescriptorCount() << " vs " << before;

    // Dropping a process while its child runs closes the master too; the child sees the
    // hang-up and is reaped in the background.
    const int before2 = openDescriptorCount();
    pid_t pid;
    {
        Recorder rec;
        LocalProcess p(&rec);
        p.startProcess("/bin/sh", {"-c", "sleep 30"}, QStringList{});
        pid = p.shellPid();
    }
    EXPECT_TRUE(waitUntil([&] { return ::kill(pid, 0) != 0; }, 5000)) << "child neither hung up nor reaped";
    EXPECT_TRUE(waitUntil([&] { return openDescriptorCount() == before2; })) << openDescriptorCount() << " vs " << before2;
}

TEST_F(LocalProcessTest, child_inherits_no_descriptors_signals_or_mask)
{
    // Give the parent an inheritable descriptor, an ignored SIGPIPE and a blocked signal.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    struct sigaction ign{};
    ign.sa_handler = SIG_IGN;
    struct sigaction oldPipe{};
    ::sigaction(SIGPIPE, &ign, &oldPipe);
    sigset_t block, oldMask;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &block, &oldMask);

    // ls lists its own descriptors: 0-2 and the one it opened for the listing (3, the lowest
    // free number, so an inherited descriptor would show up as an extra entry).
    ShellRun fdList("exec ls -m /proc/self/fd");
    ShellRun sigState("exec grep -E '^Sig(Ign|Blk)' /proc/self/status");
    ShellRun pipeline("yes | head -1");
    ASSERT_TRUE(fdList.waitForExit());
    ASSERT_TRUE(sigState.waitForExit());
    ASSERT_TRUE(pipeline.waitForExit(10000)) << "yes | head -1 did not end";

    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::close(fds[0]);
    ::close(fds[1]);

    EXPECT_EQ(fdList.text(), "0, 1, 2, 3\r\n");
    EXPECT_TRUE(sigState.text().contains("SigIgn:\t0000000000000000")) << sigState.text().toStdString();
    EXPECT_TRUE(sigState.text().contains("SigBlk:\t0000000000000000")) << sigState.text().toStdString();
    EXPECT_EQ(pipeline.rec.exits[0], 0);
    EXPECT_EQ(pipeline.text(), "y\r\n");
}

TEST_F(LocalProcessTest, a_child_that_cannot_start_reports_an_error_exit)
{
    Recorder rec;
    LocalProcess p(&rec);
    p.startProcess("/nonexistent/brinmoor-no-such-program", {}, QStringList{});
    ASSERT_TRUE(waitUntil([&] { return rec.exited(); }));
    EXPECT_EQ(rec.exits[0], LocalProcess::failedStartStatus);
    EXPECT_TRUE(rec.data.contains("Cannot run /nonexistent/brinmoor-no-such-program")) << rec.data.toStdString();
}

// Many children at once are all read by one thread: a pane costs no thread (nor its stack and
// malloc arena), and each still gets its own output, in order.
TEST_F(LocalProcessTest, many_children_share_one_reading_thread_and_keep_their_own_output)
{
    spin(20);
    const int threadsBefore = threadCount();
    constexpr int kChildren = 24;
    std::vector<std::unique_ptr<ShellRun>> runs;
    for (int i = 0; i < kChildren; ++i)
        runs.push_back(std::make_unique<ShellRun>("stty -echo; echo ready; exec cat"));
    for (auto& run : runs)
        ASSERT_TRUE(waitUntil([&] { return run->text().contains("ready"); }));
    EXPECT_LE(threadCount() - threadsBefore, 1) << "one thread reads every child";
    for (int i = 0; i < kChildren; ++i)
        runs[size_t(i)]->process.send(QByteArray("child-") + QByteArray::number(i) + "\n");
    for (int i = 0; i < kChildren; ++i) {
        const QString mine = QStringLiteral("ready\r\nchild-%1\r\n").arg(i);
        EXPECT_TRUE(waitUntil([&] { return runs[size_t(i)]->text() == mine; })) << runs[size_t(i)]->text().toStdString();
    }
    for (auto& run : runs)
        run->process.terminate();
    for (auto& run : runs)
        ASSERT_TRUE(run->waitForExit());
    runs.clear();
    EXPECT_TRUE(waitUntil([&] { return threadCount() <= threadsBefore; })) << "the thread ends with its last child";
}

// A start that cannot get what it needs (here a pseudo-terminal: no descriptor is left) says why
// in the output, reports an error exit, and leaves no process or descriptor behind; the next
// start, with descriptors to spare, runs.
TEST_F(LocalProcessTest, a_start_refused_a_pseudo_terminal_says_why_and_leaves_nothing)
{
    ShellRun keeper("exec cat"); // other panes go on meanwhile
    spin(20);
    const int fdsBefore = openDescriptorCount();
    Recorder rec;
    LocalProcess p(&rec);
    {
        // One free descriptor number, the lowest: a pseudo-terminal needs two.
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        LoweredLimit noMoreDescriptors(RLIMIT_NOFILE, rlim_t(lowestFree + 1));
        p.startProcess("/bin/sh", {"-c", "echo ran"}, QStringList{});
    }
    EXPECT_EQ(p.shellPid(), 0) << "nothing was started";
    EXPECT_FALSE(p.running());
    ASSERT_TRUE(waitUntil([&] { return rec.exited(); }));
    EXPECT_EQ(rec.exits, (std::vector<std::optional<int32_t>>{LocalProcess::failedStartStatus}));
    const QString why = "Cannot start /bin/sh: no pseudo-terminal could be opened (" + QString::fromUtf8(std::strerror(EMFILE)) + ")";
    EXPECT_EQ(QString::fromUtf8(rec.data), "\r\n" + why + "\r\n");
    EXPECT_EQ(p.startError(), why);
    EXPECT_EQ(openDescriptorCount(), fdsBefore);

    rec.exits.clear();
    rec.data.clear();
    p.startProcess("/bin/sh", {"-c", "echo ran"}, QStringList{});
    ASSERT_TRUE(waitUntil([&] { return rec.exited(); }));
    EXPECT_EQ(rec.exits[0], 0);
    EXPECT_EQ(rec.data, "ran\r\n");
    EXPECT_TRUE(p.startError().isEmpty());
    keeper.process.terminate();
    EXPECT_TRUE(keeper.waitForExit());
}

// Under an address-space limit with no room for another thread's stack, the reading thread cannot
// start: the start says so and starts no child, instead of the whole program ending on the
// thread's exception. Run in a fresh process of its own, where no reading thread runs yet.
TEST_F(LocalProcessTest, a_start_without_a_reading_thread_says_why_and_the_program_goes_on)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            spin(20);
            Recorder rec;
            LocalProcess p(&rec);
            {
                LoweredLimit noRoom(RLIMIT_AS, rlim_t(addressSpaceKiB() + 2048) * 1024);
                p.startProcess("/bin/sh", {"-c", "echo ran"}, QStringList{});
            }
            const bool reported = waitUntil([&] { return rec.exited(); });
            std::fprintf(stderr, "pid=%d exits=%zu [%s]\n", int(p.shellPid()), rec.exits.size(), rec.data.constData());
            std::exit(reported && p.shellPid() == 0 && rec.exits.size() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "pid=0 exits=1 \\[\r\nCannot start /bin/sh: no thread could be started to read its output \\(Resource temporarily unavailable\\)\r\n\\]");
}

// Under a task limit a child is started only while the application keeps room for its own
// threads (a thread Qt cannot start for painting freezes the window for good): a start that would
// eat into the reserve says why and starts nothing; with room to spare the next one runs. As an
// ordinary user (the limit does not hold for root), in a fresh process of its own.
TEST_F(LocalProcessTest, a_start_under_a_task_limit_keeps_room_for_the_applications_threads)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            spin(20);
            const uid_t nobody = 65534;
            if (::getuid() == 0 && (::setresgid(nobody, nobody, nobody) != 0 || ::setresuid(nobody, nobody, nobody) != 0))
                std::exit(2);
            const auto startWithRoom = [&](long long room) {
                Recorder rec;
                LocalProcess p(&rec);
                const long long inUse = PseudoTerminalHelpers::userTaskCount(::getuid());
                {
                    LoweredLimit tasks(RLIMIT_NPROC, rlim_t(inUse + room));
                    p.startProcess("/bin/sh", {"-c", "echo ran"}, QStringList{});
                }
                waitUntil([&] { return rec.exited(); });
                std::fprintf(stderr, "room %lld: pid>0=%d [%s]\n", room, int(p.shellPid() > 0),
                             rec.data.replace("\r\n", "|").constData());
            };
            startWithRoom(PseudoTerminalHelpers::taskReserve()); // one short: the new shell takes one
            startWithRoom(PseudoTerminalHelpers::taskReserve() + 4);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "room [0-9]+: pid>0=0 \\[\\|Cannot start /bin/sh: no new process could be made \\(the user's task limit of "
        "[0-9]+ is nearly reached \\([0-9]+ in use\\), and the rest is kept for the application itself\\)\\|\\]\n"
        "room [0-9]+: pid>0=1 \\[ran\\|\\]");
}

TEST_F(LocalProcessTest, window_size_is_given_to_the_child_and_clamped)
{
    Recorder rec;
    rec.size = makeWindowSize(33, 101, 808, 462);
    LocalProcess p(&rec);
    p.startProcess("/bin/sh", {"-c", "stty size"}, QStringList{"PATH=/usr/bin:/bin"});
    ASSERT_TRUE(waitUntil([&] { return rec.exited(); }));
    EXPECT_EQ(QString::fromUtf8(rec.data).trimmed(), "33 101");

    winsize w = makeWindowSize(-4, 70000, 640.7, 1e12);
    EXPECT_EQ(w.ws_row, 0);
    EXPECT_EQ(w.ws_col, 65535);
    EXPECT_EQ(w.ws_xpixel, 640);
    EXPECT_EQ(w.ws_ypixel, 65535);

    // Without a delegate the size is all zeros and nothing is reported.
    LocalProcess orphan(nullptr);
    orphan.startProcess("/bin/sh", {"-c", "echo lost"}, QStringList{});
    ASSERT_TRUE(waitUntil([&] { return !orphan.running(); }));
}

TEST_F(LocalProcessTest, debug_lines_and_dump_files)
{
    termcore::Diagnostics::Capture capture;
    QTemporaryDir dir;
    ShellRun run("stty -echo; printf R; read line; printf 'one'; sleep 0.5; printf 'two'");
    run.process.debugIO = true;
    run.process.setHostLogging(dir.path());
    ASSERT_TRUE(waitUntil([&] { return run.rec.data.contains("R"); })) << "echo is off only then";
    const uint8_t hi[] = {104, 105, 10};
    run.process.send(std::span(hi, 2));
    run.process.send(std::span(hi + 2, 1));
    ASSERT_TRUE(run.waitForExit());

    EXPECT_TRUE(capture.contains("[SEND-0] Queuing data to client: [104, 105] "));
    EXPECT_TRUE(capture.contains("[SEND-0] completed bytes=2"));
    EXPECT_TRUE(capture.contains("[SEND-1] completed bytes=3"));
    EXPECT_TRUE(capture.contains("[READ] count="));
    EXPECT_TRUE(capture.contains("received from host total="));

    QByteArray dumped;
    for (int i = 0; i < run.process.logFileCounter; ++i) {
        QFile f(dir.filePath("log-" + QString::number(i)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << i;
        dumped += f.readAll();
    }
    EXPECT_GE(run.process.logFileCounter, 2);
    EXPECT_EQ(dumped, run.rec.data);

    // A folder that cannot be written: the chunk keeps its number and delivery goes on.
    ShellRun bad("printf x");
    bad.process.setHostLogging(QString("/nonexistent/brinmoor-dumps"));
    ASSERT_TRUE(bad.waitForExit());
    EXPECT_EQ(bad.process.logFileCounter, 0);
    EXPECT_EQ(bad.rec.data, "x");
    EXPECT_TRUE(capture.contains("Got error while logging data dump to /nonexistent/brinmoor-dumps/log-0: "));
}

TEST_F(LocalProcessTest, the_delegate_may_drop_the_process_from_its_exit_report)
{
    Recorder rec;
    auto* p = new LocalProcess(&rec);
    rec.onExit = [&] { delete p; p = nullptr; };
    p->startProcess("/bin/sh", {"-c", "echo bye"}, QStringList{});
    ASSERT_TRUE(waitUntil([&] { return rec.exited(); }));
    EXPECT_TRUE(waitUntil([&] { return p == nullptr; }));
    EXPECT_EQ(rec.exits.size(), 1u);
}
