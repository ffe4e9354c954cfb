// Task limits that bind the application: the control groups' pids.max at every level (read
// through a fake tree, and for real inside a pids control group when the test may make one), the
// drawing threads kept from start under a limit reached, and an image that gets no thread.
#include "LocalProcess.h"
#include "PseudoTerminalHelpers.h"
#include "RenderThreads.h"
#include "support/ViewHarness.h"

#include "Diagnostics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <grp.h>
#include <map>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

using Limits = std::vector<PseudoTerminalHelpers::CgroupTaskLimit>;

// A fake file system root: each path (from the root) holds its text.
struct FakeRoot {
    QTemporaryDir dir;
    explicit FakeRoot(const std::map<std::string, std::string>& files)
    {
        for (const auto& [path, text] : files) {
            const QString full = dir.path() + QString::fromStdString(path);
            QDir().mkpath(QFileInfo(full).path());
            QFile f(full);
            if (f.open(QIODevice::WriteOnly))
                f.write(text.data(), qint64(text.size()));
        }
    }
    std::string path() const { return dir.path().toStdString(); }
};

std::string describe(const Limits& limits)
{
    std::string out;
    for (const auto& l : limits)
        out += l.folder + " " + std::to_string(l.current) + "/" + std::to_string(l.max) + "; ";
    return out;
}

const std::string v2Mount = "30 24 0:26 / /sys/fs/cgroup rw,nosuid,nodev shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
const std::string v1PidsMount = "41 25 0:37 / /sys/fs/cgroup/pids rw,nosuid shared:19 - cgroup cgroup rw,pids\n";
const std::string otherMounts = "22 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
                                "40 25 0:36 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n";

// Every level of the process's control groups with a numeric limit, innermost first, whichever
// hierarchy holds it, the top included; levels without a limit, and files that say nothing
// usable, are left out.
TEST(TaskLimits, control_group_limits_are_read_at_every_level_of_both_hierarchies)
{
    struct Case {
        const char* name;
        std::map<std::string, std::string> files;
        std::string expected; // describe() of the levels
    };
    const std::vector<Case> cases = {
        {"v2: a limit on the slice above the process's own group",
         {{"/proc/self/cgroup", "0::/user.slice/app.scope\n"},
          {"/proc/self/mountinfo", otherMounts + v2Mount},
          {"/sys/fs/cgroup/user.slice/app.scope/pids.max", "max\n"},
          {"/sys/fs/cgroup/user.slice/app.scope/pids.current", "12\n"},
          {"/sys/fs/cgroup/user.slice/pids.max", "40\n"},
          {"/sys/fs/cgroup/user.slice/pids.current", "31\n"}},
         "/sys/fs/cgroup/user.slice 31/40; "},
        {"v2: limits on two levels and on the top",
         {{"/proc/self/cgroup", "0::/a/b\n"},
          {"/proc/self/mountinfo", v2Mount},
          {"/sys/fs/cgroup/a/b/pids.max", "60\n"},
          {"/sys/fs/cgroup/a/b/pids.current", "7\n"},
          {"/sys/fs/cgroup/a/pids.max", "100\n"},
          {"/sys/fs/cgroup/a/pids.current", "50\n"},
          {"/sys/fs/cgroup/pids.max", "500\n"},
          {"/sys/fs/cgroup/pids.current", "400\n"}},
         "/sys/fs/cgroup/a/b 7/60; /sys/fs/cgroup/a 50/100; /sys/fs/cgroup 400/500; "},
        {"v2: the process in the top group",
         {{"/proc/self/cgroup", "0::/\n"},
          {"/proc/self/mountinfo", v2Mount},
          {"/sys/fs/cgroup/pids.max", "90\n"},
          {"/sys/fs/cgroup/pids.current", "80\n"}},
         "/sys/fs/cgroup 80/90; "},
        {"v1: the pids controller's hierarchy, a container's group",
         {{"/proc/self/cgroup", "9:memory:/docker/abc\n5:pids:/docker/abc\n1:name=systemd:/docker/abc\n"},
          {"/proc/self/mountinfo", otherMounts + v1PidsMount},
          {"/sys/fs/cgroup/pids/docker/abc/pids.max", "50\n"},
          {"/sys/fs/cgroup/pids/docker/abc/pids.current", "20\n"},
          {"/sys/fs/cgroup/pids/docker/pids.max", "max\n"},
          {"/sys/fs/cgroup/pids/docker/pids.current", "30\n"}},
         "/sys/fs/cgroup/pids/docker/abc 20/50; "},
        {"v1: the pids controller shares a hierarchy with others",
         {{"/proc/self/cgroup", "5:cpu,pids:/x\n"},
          {"/proc/self/mountinfo", "41 25 0:37 / /sys/fs/cgroup/cpu,pids rw - cgroup cgroup rw,cpu,pids\n"},
          {"/sys/fs/cgroup/cpu,pids/x/pids.max", "45\n"},
          {"/sys/fs/cgroup/cpu,pids/x/pids.current", "44\n"}},
         "/sys/fs/cgroup/cpu,pids/x 44/45; "},
        {"v1: only the container's own group is mounted",
         {{"/proc/self/cgroup", "5:pids:/docker/abc\n"},
          {"/proc/self/mountinfo", "41 25 0:37 /docker/abc /sys/fs/cgroup/pids ro - cgroup cgroup rw,pids\n"},
          {"/sys/fs/cgroup/pids/pids.max", "64\n"},
          {"/sys/fs/cgroup/pids/pids.current", "10\n"}},
         "/sys/fs/cgroup/pids 10/64; "},
        {"hybrid: both hierarchies, each with a limit",
         {{"/proc/self/cgroup", "8:pids:/job\n0::/job\n"},
          {"/proc/self/mountinfo", "30 24 0:26 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n" + v1PidsMount},
          {"/sys/fs/cgroup/unified/job/pids.max", "300\n"},
          {"/sys/fs/cgroup/unified/job/pids.current", "5\n"},
          {"/sys/fs/cgroup/pids/job/pids.max", "40\n"},
          {"/sys/fs/cgroup/pids/job/pids.current", "5\n"}},
         "/sys/fs/cgroup/unified/job 5/300; /sys/fs/cgroup/pids/job 5/40; "},
        {"a mount point with a blank, written as mountinfo escapes it",
         {{"/proc/self/cgroup", "0::/g\n"},
          {"/proc/self/mountinfo", "30 24 0:26 / /sys/fs/cgroup\\040two rw - cgroup2 cgroup2 rw\n"},
          {"/sys/fs/cgroup two/g/pids.max", "70\n"},
          {"/sys/fs/cgroup two/g/pids.current", "3\n"}},
         "/sys/fs/cgroup two/g 3/70; "},
        {"a group outside the mounted part (another namespace's ..) reads only the top",
         {{"/proc/self/cgroup", "0::/../other/g\n"},
          {"/proc/self/mountinfo", v2Mount},
          {"/sys/fs/cgroup/pids.max", "80\n"},
          {"/sys/fs/cgroup/pids.current", "8\n"}},
         "/sys/fs/cgroup 8/80; "},
        {"no limit anywhere",
         {{"/proc/self/cgroup", "0::/a\n"},
          {"/proc/self/mountinfo", v2Mount},
          {"/sys/fs/cgroup/a/pids.max", "max\n"},
          {"/sys/fs/cgroup/a/pids.current", "3\n"}},
         ""},
        {"garbage in the files: skipped",
         {{"/proc/self/cgroup", "garbage\n::\n0::/a\n"},
          {"/proc/self/mountinfo", "nonsense line\n - \n30 24 - cgroup2\n" + v2Mount},
          {"/sys/fs/cgroup/a/pids.max", "lots\n"},
          {"/sys/fs/cgroup/a/pids.current", "3\n"},
          {"/sys/fs/cgroup/pids.max", "-5\n"},
          {"/sys/fs/cgroup/pids.current", "1\n"}},
         ""},
        {"a limit without a count: skipped",
         {{"/proc/self/cgroup", "0::/a\n"},
          {"/proc/self/mountinfo", v2Mount},
          {"/sys/fs/cgroup/a/pids.max", "10\n"}},
         ""},
        {"no cgroup file system mounted", {{"/proc/self/cgroup", "0::/a\n"}, {"/proc/self/mountinfo", otherMounts}}, ""},
        {"nothing readable at all", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FakeRoot root(c.files);
        EXPECT_EQ(describe(PseudoTerminalHelpers::cgroupTaskLimits(root.path())), c.expected);
    }
}

// A start is refused, with the group and its figures, while a control group leaves fewer than the
// reserve after it, whichever level that is; one task more of room and it may go. Root is held to
// a control group's limit as anyone is.
TEST(TaskLimits, a_nearly_full_control_group_refuses_a_start_with_its_figures)
{
    const long long reserve = PseudoTerminalHelpers::taskReserve();
    struct rlimit rl;
    if (::getuid() != 0 && ::getrlimit(RLIMIT_NPROC, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
        GTEST_SKIP() << "the user's own task limit would speak first";
    for (const bool top : {false, true}) {
        for (const long long room : {reserve, reserve + 1}) {
            SCOPED_TRACE(std::string(top ? "top" : "slice") + ", room " + std::to_string(room));
            const std::string folder = top ? "/sys/fs/cgroup" : "/sys/fs/cgroup/user.slice";
            const FakeRoot root({{"/proc/self/cgroup", "0::/user.slice/app.scope\n"},
                                 {"/proc/self/mountinfo", v2Mount},
                                 {folder + "/pids.max", std::to_string(30 + room) + "\n"},
                                 {folder + "/pids.current", "30\n"}});
            const std::string refusal = PseudoTerminalHelpers::taskLimitRefusal(root.path());
            if (room == reserve)
                EXPECT_EQ(refusal, "the task limit of " + std::to_string(30 + room) + " of the control group " + folder
                                       + " is nearly reached (30 in use), and the rest is kept for the application itself");
            else
                EXPECT_EQ(refusal, "");
        }
    }
}

// Makes this process unable to start any task more: as root it first becomes the user nobody
// (root is not held to RLIMIT_NPROC), then the user's limit becomes what the user runs now.
// Returns whether a thread is refused now.
bool runOutOfTasks()
{
    const uid_t nobody = 65534;
    if (::getuid() == 0
        && (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0
            || ::setresuid(nobody, nobody, nobody) != 0))
        return false;
    const long long inUse = PseudoTerminalHelpers::userTaskCount(::getuid());
    if (inUse <= 0)
        return false;
    const rlimit none{rlim_t(inUse), rlim_t(inUse)};
    if (::setrlimit(RLIMIT_NPROC, &none) != 0)
        return false;
    try {
        std::thread([] {}).join();
        return false;
    } catch (const std::system_error&) {
        return true;
    }
}

// A fill large enough for Qt's raster engine to split over the global pool, as the software
// renderer's fills of a window are.
void paintLargeGradient()
{
    QImage image(1600, 1600, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 1600, 1600);
    gradient.setColorAt(0, Qt::red);
    gradient.setColorAt(1, Qt::blue);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillRect(image.rect(), QColor(10, 20, 30, 128));
    painter.fillRect(image.rect(), gradient);
}

class TaskLimitsLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        if (!QFileInfo(QStringLiteral("/proc/self/status")).exists())
            GTEST_SKIP() << "needs /proc to count the user's tasks";
    }
};

// The drawing threads are made at start and kept: with the task limit reached afterwards, large
// fills still finish. Without them the same fill waits for good on a thread the system refused
// (the case the start-up step is for; a stuck child is ended by its alarm).
TEST_F(TaskLimitsLive, drawing_threads_made_at_start_serve_fills_under_a_task_limit_reached)
{
    EXPECT_EXIT(
        {
            ::alarm(60);
            ensureGuiApp();
            const int wanted = QThreadPool::globalInstance()->maxThreadCount();
            const int ready = brinmoor::keepRenderThreadsReady();
            if (!runOutOfTasks())
                std::exit(3);
            for (int i = 0; i < 3; ++i)
                paintLargeGradient();
            std::fprintf(stderr, "%d of %d threads; painted\n", ready, wanted);
            std::exit(ready == wanted ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "painted");
    EXPECT_EXIT(
        {
            ::alarm(5);
            ensureGuiApp();
            if (!runOutOfTasks())
                std::exit(3);
            paintLargeGradient();
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGALRM), "");
}

// An image whose decoding thread is refused is left out alone: the output behind it is shown,
// and the view goes without waiting for a thread that never ran.
TEST_F(TaskLimitsLive, an_image_that_gets_no_thread_fails_alone)
{
    EXPECT_EXIT(
        {
            ::alarm(60);
            ensureGuiApp();
            brinmoor::keepRenderThreadsReady();
            termcore::Diagnostics::Capture diagnostics;
            auto h = std::make_unique<ViewHarness>(20, 6);
            h->feed("AB");
            if (!runOutOfTasks())
                std::exit(3);
            h->view->feed(QByteArray("C\x1bPq#1;2;100;0;0#1!21~-!21~\x1b\\D"));
            waitUntil([&] { return !h->view->outputHeld(); }, 5000);
            h->feed("");
            termcore::Terminal& t = h->terminal();
            const auto last = t.getCharData(t.buffer().x() - 1, t.buffer().y());
            std::fprintf(stderr, "held %d, last %c, noted %d\n", int(h->view->outputHeld()),
                         last ? char(last->code) : '?', int(diagnostics.contains("no thread could be made")));
            h.reset();
            std::fprintf(stderr, "view gone\n");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "held 0, last D, noted 1\nview gone");
}

// A pids control group of the test's own, under a hierarchy that offers the pids controller
// (the v1 pids hierarchy, or the unified one where its top hands the controller down); empty
// where none can be made (not root, a read-only cgroup file system).
struct OwnPidsGroup {
    QString folder;
    OwnPidsGroup()
    {
        QFile mounts(QStringLiteral("/proc/self/mountinfo"));
        if (::getuid() != 0 || !mounts.open(QIODevice::ReadOnly))
            return;
        for (const QByteArray& line : mounts.readAll().split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() < 10 || f[3] != "/")
                continue;
            const QString point = QString::fromUtf8(f[4]);
            const bool v1 = line.contains(" - cgroup ") && line.split(' ').last().split(',').contains("pids");
            QFile handed(point + QStringLiteral("/cgroup.subtree_control"));
            const bool v2 = line.contains(" - cgroup2 ") && handed.open(QIODevice::ReadOnly)
                         && handed.readAll().split(' ').contains("pids");
            if (!v1 && !v2)
                continue;
            const QString candidate = point + QStringLiteral("/brinmoor-test-%1").arg(::getpid());
            if (QDir().mkdir(candidate) && QFileInfo::exists(candidate + QStringLiteral("/pids.max"))) {
                folder = candidate;
                return;
            }
            QDir().rmdir(candidate);
        }
    }
    ~OwnPidsGroup()
    {
        if (!folder.isEmpty())
            QDir().rmdir(folder);
    }
    static bool write(const QString& path, const QByteArray& text)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.flush();
    }
    static long long read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : -1;
    }
};

struct ExitRecorder : LocalProcessDelegate {
    QByteArray data;
    bool exited = false;
    void processTerminated(LocalProcess&, std::optional<int32_t>) override { exited = true; }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        data.append(reinterpret_cast<const char*>(slice.data()), qsizetype(slice.size()));
    }
    winsize getWindowSize() override { return makeWindowSize(24, 80, 640, 480); }
};

// Inside a real pids control group, as root (whom RLIMIT_NPROC does not bind, but a group's
// limit does): a start that would leave the group fewer than the reserve says why and starts
// nothing; with room to spare the next one runs.
TEST_F(TaskLimitsLive, a_start_inside_a_nearly_full_pids_group_says_why_even_as_root)
{
    const OwnPidsGroup group;
    if (group.folder.isEmpty())
        GTEST_SKIP() << "no pids control group can be made here (needs root and a writable cgroup file system)";
    const QString folder = group.folder;
    EXPECT_EXIT(
        {
            ::alarm(60);
            ensureGuiApp();
            if (!OwnPidsGroup::write(folder + QStringLiteral("/cgroup.procs"), QByteArray::number(::getpid())))
                std::exit(3);
            const auto startWithRoom = [&](long long room) {
                ExitRecorder rec;
                LocalProcess p(&rec);
                const long long inUse = OwnPidsGroup::read(folder + QStringLiteral("/pids.current"));
                OwnPidsGroup::write(folder + QStringLiteral("/pids.max"), QByteArray::number(inUse + room));
                p.startProcess("/bin/sh", {"-c", "echo ran"}, QStringList{});
                waitUntil([&] { return rec.exited; });
                std::fprintf(stderr, "room %lld: [%s]\n", room, rec.data.replace("\r\n", "|").constData());
            };
            startWithRoom(PseudoTerminalHelpers::taskReserve()); // one short: the new shell takes one
            startWithRoom(PseudoTerminalHelpers::taskReserve() + 4);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "room [0-9]+: \\[\\|Cannot start /bin/sh: no new process could be made \\(the task limit of [0-9]+ of the "
        "control group .*brinmoor-test-[0-9]+ is nearly reached \\([0-9]+ in use\\), and the rest is kept for the "
        "application itself\\)\\|\\]\n"
        "room [0-9]+: \\[ran\\|\\]");
}

} // namespace
