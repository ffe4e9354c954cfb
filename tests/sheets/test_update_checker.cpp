// The update checker against a loopback web service: version records, archives made here with
// libarchive, the real swap script run by bash on temporary folders.

#include "UpdateChecker.h"
#include "ReadThreads.h"
#include "support/TestEnvironment.h"
#include "support/TaskLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QNetworkReply>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

using namespace brinmoor;
using test::waitUntil;

BRINMOOR_APP_TEST_ENVIRONMENT();

namespace {

// A one-shot HTTP/1.1 server on 127.0.0.1: each path answers with a fixed body, or is held back
// until release() when `hold` is set.
class LoopbackServer : public QObject {
public:
    struct Route {
        QByteArray body;
        bool hold = false;
        bool unsized = false;  // no Content-Length: the body ends where the connection does
    };
    LoopbackServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
        });
    }
    QString url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path); }
    QMap<QString, Route> routes;
    QMap<QString, int> hits;
    void release()
    {
        for (auto& [socket, path] : std::exchange(m_held, {}))
            answer(socket, routes.value(path));
    }

private:
    void serve(QTcpSocket* s)
    {
        m_request[s] += s->readAll();
        if (!m_request[s].contains("\r\n\r\n"))
            return;
        const QString path = QString::fromLatin1(m_request.take(s).split(' ').value(1));
        ++hits[path];
        if (routes.value(path).hold)
            m_held.push_back({s, path});
        else
            answer(s, routes.value(path));
    }
    static void answer(QTcpSocket* s, const Route& route)
    {
        const QByteArray length = route.unsized ? "" : "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
        s->write("HTTP/1.1 200 OK\r\nConnection: close\r\n" + length + "\r\n" + route.body);
        s->disconnectFromHost();
    }
    QTcpServer m_server;
    QMap<QTcpSocket*, QByteArray> m_request;
    std::vector<std::pair<QTcpSocket*, QString>> m_held;
};

struct Entry {
    QByteArray name;
    QByteArray data = {};
    int mode = 0644;
    QByteArray symlink = {};  // a link to this target instead of a file
};

QByteArray makeZip(const QList<Entry>& entries)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("a.zip")));
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open_filename(a, path.constData());
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.constData());
        archive_entry_set_filetype(entry, e.symlink.isEmpty() ? AE_IFREG : AE_IFLNK);
        archive_entry_set_perm(entry, e.mode);
        if (!e.symlink.isEmpty())
            archive_entry_set_symlink(entry, e.symlink.constData());
        archive_entry_set_size(entry, e.data.size());
        archive_write_header(a, entry);
        archive_write_data(a, e.data.constData(), e.data.size());
        archive_entry_free(entry);
    }
    archive_write_free(a);
    QFile f(QString::fromLocal8Bit(path));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// A stand-in build: answers --version; started, appends `word` to `marker` and, with a `window`,
// says it is up, and then that its user quit it.
QByteArray program(const QString& marker, const QByteArray& word, bool window = true)
{
    const QByteArray quoted = "'" + marker.toUtf8().replace("'", "'\\''") + "'";
    return "#!/bin/bash\n[ \"$1\" = --version ] && { echo Brinmoor 3.0; exit; }\necho " + word + " >> " + quoted + "\n"
        + (window ? "[ -z \"$BRINMOOR_UPDATE_MARKER\" ] || { echo started > \"$BRINMOOR_UPDATE_MARKER\"; "
                    "echo quit > \"$BRINMOOR_UPDATE_MARKER.quit\"; }\n"
                  : "exit 1\n");
}

// A stand-in build whose window comes up and which then, a second later, runs `end`.
QByteArray crashing(const QByteArray& end)
{
    return "#!/bin/bash\n[ \"$1\" = --version ] && { echo Brinmoor 3.0; exit; }\nulimit -c 0\n"
           "echo started > \"$BRINMOOR_UPDATE_MARKER\"\nsleep 1\n" + end + "\n";
}

QList<Entry> release(const QString& marker, const QByteArray& word, const QByteArray& prefix = "Brinmoor.app/")
{
    return {{prefix + "bin/brinmoor", program(marker, word), 0755}, {prefix + "share/readme", "new build"}};
}

QByteArray record(const QString& version, const QString& download, const QString& page = QString())
{
    return QStringLiteral(R"({"version": "%1", "download": "%2", "url": "%3", "notes": null})")
        .arg(version, download, page).toUtf8();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A checker whose temporary folder is <root>/tmp, so anything written beside it is "outside". It
// runs from an installed folder (its own, unless one is given), so it may download updates.
struct Fixture {
    QTemporaryDir root;
    QTemporaryDir apps;
    LoopbackServer server;
    QList<QUrl> opened;
    int quits = 0;
    std::unique_ptr<UpdateChecker> checker;

    explicit Fixture(const QString& appFolder = QString(), qint64 pid = 0,
                     const std::function<void(UpdateChecker::Environment&)>& tweak = {})
    {
        QDir(root.path()).mkdir(QStringLiteral("tmp"));
        UpdateChecker::Environment env;
        env.baseURL = server.url(QStringLiteral("/svc"));
        env.currentVersion = QStringLiteral("1.2.0");
        env.appFolder = appFolder.isEmpty() ? apps.filePath(QStringLiteral("Brinmoor.app")) : appFolder;
        QDir().mkpath(env.appFolder);
        env.tempFolder = tmp();
        env.pid = pid;
        env.openURL = [this](const QUrl& url) { opened << url; };
        env.quit = [this] { ++quits; };
        if (tweak)
            tweak(env);
        checker = std::make_unique<UpdateChecker>(env);
    }
    QString tmp() const { return root.filePath(QStringLiteral("tmp")); }
    void offer(const QString& version, const QByteArray& zip, bool hold = false)
    {
        server.routes[QStringLiteral("/app.zip")] = {zip, hold};
        server.routes[QStringLiteral("/svc/api/app/version")] =
            {record(version, server.url(QStringLiteral("/app.zip")), server.url(QStringLiteral("/page")))};
    }
    // Runs one check to its end, download and unpacking included.
    void checkAndSettle()
    {
        const int before = server.hits.value(QStringLiteral("/svc/api/app/version"));
        checker->check();
        ASSERT_TRUE(waitUntil([&] {
            return server.hits.value(QStringLiteral("/svc/api/app/version")) > before && !checker->latestVersion().isEmpty()
                && !checker->downloading();
        }));
    }
};

QStringList tree(const QString& path)
{
    QStringList out;
    for (const QFileInfo& e : QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden))
        out << e.fileName();
    return out;
}

} // namespace

TEST(UpdateChecks, newer_release_is_downloaded_once_and_unpacked_while_checks_repeat)
{
    Fixture f;
    const QByteArray zip = makeZip(release(f.root.filePath(QStringLiteral("m")), "new"));
    f.offer(QStringLiteral("1.10"), zip, true);
    f.checker->start();
    ASSERT_TRUE(waitUntil([&] { return f.server.hits.value(QStringLiteral("/app.zip")) == 1; }));
    EXPECT_TRUE(f.checker->available());
    EXPECT_TRUE(f.checker->downloading());
    // A second start() applies its record but neither downloads again nor arms a second timer.
    f.offer(QStringLiteral("1.11"), zip, true);
    f.checker->start();
    ASSERT_TRUE(waitUntil([&] { return f.checker->latestVersion() == QStringLiteral("1.11"); }));
    int sixHourly = 0;
    for (QTimer* t : f.checker->findChildren<QTimer*>())
        sixHourly += t->interval() == UpdateChecker::checkIntervalSeconds * 1000;
    EXPECT_EQ(sixHourly, 1);

    f.server.release();
    ASSERT_TRUE(waitUntil([&] { return f.checker->ready(); }));
    f.checkAndSettle();  // one more round trip, by which a wrongly started download has arrived
    EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), 1);
    const QString app = f.tmp() + QStringLiteral("/BrinmoorUpdate-1.10/Brinmoor.app");
    EXPECT_EQ(f.checker->newAppPath(), app);
    EXPECT_TRUE(QFileInfo(app + QStringLiteral("/bin/brinmoor")).isExecutable());
    EXPECT_EQ(readFile(app + QStringLiteral("/share/readme")), "new build");

    // Installing asks the application to quit and opens no page; the swap waits for the quit.
    f.checker->install();
    EXPECT_TRUE(f.opened.isEmpty());
    EXPECT_EQ(f.quits, 1);
}

// The task limit reached as a downloaded release is to be unpacked: its thread is refused, and the
// checker no longer says it downloads; once tasks are free the next check fetches the release again
// and unpacks it. Before, the refused thread never ran nor finished, and the checker said it was
// downloading for good. (RLIMIT_NPROC binds root only once the real user is another: the child
// takes the user nobody, keeping root as its saved user.)
TEST(UpdateChecks, an_unpacking_refused_a_thread_ends_the_download_and_the_next_check_unpacks)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(60);
            Fixture f;
            const QByteArray zip = makeZip(release(f.root.filePath(QStringLiteral("m")), "new"));
            f.offer(QStringLiteral("1.10"), zip, true);
            f.checker->start();
            if (!waitUntil([&] { return f.server.hits.value(QStringLiteral("/app.zip")) == 1 && f.checker->downloading(); }))
                std::_Exit(3);
            if (!test::limitTasks(false))
                std::_Exit(3);
            f.server.release();
            const bool ended = waitUntil([&] { return !f.checker->downloading(); }, 5000);
            const bool readyUnder = f.checker->ready();
            if (!test::limitTasks(true))
                std::_Exit(4);
            f.offer(QStringLiteral("1.10"), zip);
            f.checker->check();
            const bool ready = waitUntil([&] { return f.checker->ready(); }, 10000);
            std::fprintf(stderr, "ended %d ready %d; then ready %d after %d downloads\n", int(ended), int(readyUnder), int(ready),
                         f.server.hits.value(QStringLiteral("/app.zip")));
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "ended 1 ready 0; then ready 1 after 2 downloads");
}

// The task limit reached as a version record arrives: the thread to read it is refused, and that
// check ends as a failed fetch does, the record left unread; once tasks are free the next check
// reads its record. Before, a pool of one counted the refused thread as busy and every later record
// waited behind it for good. The service's connection is made before the limit, as the app's is
// after its first check.
TEST(UpdateChecks, a_record_refused_a_thread_ends_its_check_and_the_next_check_reads_its_record)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(60);
            Fixture f;
            const QString path = QStringLiteral("/svc/api/app/version");
            f.server.routes[path] = LoopbackServer::Route(record(QStringLiteral("1.1.5"), QString()), true);
            f.checker->check();
            if (!waitUntil([&] { return f.server.hits.value(path) == 1; }))
                std::_Exit(3);
            if (!test::limitTasks(false))
                std::_Exit(3);
            f.server.release();
            // The check has ended once its reply is gone.
            const bool ended = waitUntil([&] { return f.checker->findChildren<QNetworkReply*>().isEmpty(); }, 5000);
            const QString under = f.checker->latestVersion();
            if (!test::limitTasks(true))
                std::_Exit(4);
            f.server.routes[path] = LoopbackServer::Route(record(QStringLiteral("1.1.7"), QString()));
            f.checker->check();
            const bool read = waitUntil([&] { return f.checker->latestVersion() == QStringLiteral("1.1.7"); }, 8000);
            std::fprintf(stderr, "ended %d with \"%s\"; then read %d after %d checks\n", int(ended), qPrintable(under),
                         int(read), f.server.hits.value(path));
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "ended 1 with \"\"; then read 1 after 2 checks");
}

static int refuseThread(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)
{
    return EAGAIN;
}

// How each check ends, as the checker says it: a record taken, an answer that is none, a service
// that does not answer, and a record whose reading thread the system refused (a stand-in that
// refuses as the task limit does). A check that takes no record leaves the published state as it
// was, and the next check, threads to be had again, takes its record at once: before, a refused
// thread left a pool of one busy for good and no record was read again.
TEST(UpdateChecks, each_check_says_how_it_ended_and_a_refused_read_holds_nothing_back)
{
    const QString unreadable = QStringLiteral("The update service's answer was not a version record.");
    const struct {
        const char* name;
        QByteArray body;
        bool refuseThreads = false;
        bool unreachable = false;
        QString problem;  // its start
        QString latest;   // the version published after it
    } cases[] = {
        {"a record", record(QStringLiteral("1.1.5"), QString()), false, false, QString(), QStringLiteral("1.1.5")},
        {"a record whose reading thread is refused", record(QStringLiteral("1.1.5"), QString()), true, false,
         QStringLiteral("The update's version record was not read: no thread could be started."), QString()},
        {"a page that is no record", "<html>maintenance</html>", false, false, unreadable, QString()},
        {"no record, refused a thread too", "{}", true, false, QStringLiteral("The update's version record was not read"), QString()},
        {"no service", QByteArray(), false, true, QStringLiteral("The update service could not be reached: "), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTcpServer closed;  // listens only to find a port nothing answers on once it is closed
        closed.listen(QHostAddress::LocalHost);
        const quint16 deadPort = closed.serverPort();
        closed.close();
        Fixture f({}, 0, [&](UpdateChecker::Environment& env) {
            if (c.unreachable)
                env.baseURL = QStringLiteral("http://127.0.0.1:%1/svc").arg(deadPort);
        });
        const QString path = QStringLiteral("/svc/api/app/version");
        f.server.routes[path] = {c.body};
        QSignalSpy ended(f.checker.get(), &UpdateChecker::checked);
        {
            ReadThreads::setStarter(c.refuseThreads ? refuseThread : nullptr);
            const auto back = qScopeGuard([] { ReadThreads::setStarter(nullptr); });
            f.checker->check();
            ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }));
        }
        const QString problem = ended.at(0).at(0).toString();
        EXPECT_TRUE(c.problem.isEmpty() ? problem.isEmpty() : problem.startsWith(c.problem)) << problem.toStdString();
        EXPECT_EQ(f.checker->latestVersion(), c.latest);
        EXPECT_FALSE(f.checker->available());
        EXPECT_FALSE(f.checker->downloading());
        if (c.unreachable)
            continue;

        // The next check takes its record, on a thread of its own.
        f.server.routes[path] = {record(QStringLiteral("1.1.7"), QString())};
        f.checker->check();
        ASSERT_TRUE(waitUntil([&] { return ended.count() == 2; }));
        EXPECT_EQ(ended.at(1).at(0).toString(), QString());
        EXPECT_EQ(f.checker->latestVersion(), QStringLiteral("1.1.7"));
        EXPECT_EQ(f.server.hits.value(path), 2);
    }
}

TEST(UpdateChecks, copy_that_cannot_replace_itself_downloads_nothing_and_offers_the_page)
{
    QTemporaryDir place;
    QDir(place.path()).mkpath(QStringLiteral("build/bin"));
    const QString buildBin = place.filePath(QStringLiteral("build/bin"));
    for (bool page : {true, false}) {
        SCOPED_TRACE(page ? "with a page" : "no page");
        Fixture f({}, 0, [&](UpdateChecker::Environment& env) {
            env.appFolder = UpdateChecker::installedAppFolder(buildBin);
            env.installProblem = UpdateChecker::installRefusal(buildBin);
        });
        f.server.routes[QStringLiteral("/app.zip")] = {makeZip(release(QStringLiteral("/dev/null"), "x"))};
        f.server.routes[QStringLiteral("/svc/api/app/version")] = {record(
            QStringLiteral("2.0"), f.server.url(QStringLiteral("/app.zip")), page ? f.server.url(QStringLiteral("/page")) : QString())};
        f.checkAndSettle();
        f.checkAndSettle();  // every check, not only the first
        EXPECT_TRUE(f.checker->available());
        EXPECT_FALSE(f.checker->installable());
        EXPECT_EQ(f.checker->installProblem(), QStringLiteral("Brinmoor does not run from an installed Brinmoor.app folder."));
        EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), 0);
        EXPECT_FALSE(f.checker->ready());
        EXPECT_EQ(tree(f.tmp()), QStringList{});
        // The pill's click opens the page when there is one; it never asks to quit.
        EXPECT_EQ(f.checker->install(), page);
        EXPECT_EQ(f.opened.size(), page ? 1 : 0);
        EXPECT_EQ(f.quits, 0);
    }
}

TEST(UpdateChecks, unusable_archives_stay_not_ready_and_write_nothing_outside)
{
    const QByteArray zip = makeZip(release(QStringLiteral("/dev/null"), "x"));
    const QList<std::pair<const char*, QByteArray>> cases{
        {"app one folder down", makeZip(release(QStringLiteral("/dev/null"), "x", "release/Brinmoor.app/"))},
        {"corrupt", zip.left(zip.size() / 2) + QByteArray(200, 'x')},
        {"not an archive", "<html>not found</html>"},
        {"climbs out", makeZip(release(QStringLiteral("/dev/null"), "x") << Entry{"../../escaped", "x"})},
        {"climbs out inside a name", makeZip({{"Brinmoor.app/../../escaped", "x"}})},
        {"absolute", makeZip({{"/tmp/brinmoor-escaped", "x"}, {"Brinmoor.app/bin/brinmoor", "x"}})},
        {"through a link", makeZip({{"Brinmoor.app/out", "", 0777, "../../.."}, {"Brinmoor.app/out/escaped", "x"}})},
    };
    for (const auto& [name, archive] : cases) {
        SCOPED_TRACE(name);
        Fixture f;
        f.offer(QStringLiteral("2.0"), archive);
        f.checkAndSettle();
        EXPECT_TRUE(f.checker->available());
        EXPECT_FALSE(f.checker->ready());
        EXPECT_TRUE(f.checker->newAppPath().isEmpty());
        EXPECT_EQ(tree(f.root.path()), QStringList{QStringLiteral("tmp")});
        EXPECT_EQ(tree(f.tmp()), QStringList{});  // the update folder and the download are gone
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/brinmoor-escaped")));
    }
}

TEST(UpdateChecks, size_cap_and_deadline_end_a_download_without_an_update)
{
    for (bool stall : {false, true}) {
        SCOPED_TRACE(stall ? "stalled" : "too large");
        Fixture f({}, 0, [&](UpdateChecker::Environment& env) {
            env.downloadTimeoutMs = stall ? 200 : env.downloadTimeoutMs;
            env.maxDownloadBytes = stall ? env.maxDownloadBytes : 200;
        });
        f.offer(QStringLiteral("2.0"), makeZip(release(QStringLiteral("/dev/null"), "x")), stall);
        f.checkAndSettle();
        EXPECT_FALSE(f.checker->ready());
        EXPECT_EQ(tree(f.tmp()), QStringList{});
    }
}

TEST(UpdateChecks, record_past_the_size_cap_is_refused_however_fast_it_arrives)
{
    const QString path = QStringLiteral("/svc/api/app/version");
    const struct {
        qint64 size;
        bool unsized;  // no Content-Length: only counting the bytes finds the cap
        bool taken;
    } cases[] = {
        {UpdateChecker::maxRecordBytes, false, true},
        {UpdateChecker::maxRecordBytes + 1, false, false},
        {UpdateChecker::maxRecordBytes + 1, true, false},
        {16 << 20, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << (c.unsized ? " unsized" : ""));
        Fixture f;
        f.offer(QStringLiteral("2.0"), makeZip(release(QStringLiteral("/dev/null"), "x")));
        QByteArray body = f.server.routes[path].body;
        f.server.routes[path] = {body + QByteArray(c.size - body.size(), ' '), false, c.unsized};  // JSON may end in spaces
        f.checker->check();
        if (c.taken) {
            ASSERT_TRUE(waitUntil([&] { return f.server.hits.value(QStringLiteral("/app.zip")) == 1; }));
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return f.server.hits.value(path) == 1 && f.checker->findChildren<QNetworkReply*>().isEmpty(); }));
        // Records apply in order: a small one behind it proves the big one was dropped.
        f.server.routes[path] = {record(QStringLiteral("1.0"), QString())};
        f.checker->check();
        ASSERT_TRUE(waitUntil([&] { return f.checker->latestVersion() == QStringLiteral("1.0"); }));
        EXPECT_FALSE(f.checker->available());
        EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), 0);
    }
}

TEST(UpdateChecks, release_without_a_program_to_start_is_refused_until_a_newer_version)
{
    const QList<std::pair<const char*, QList<Entry>>> cases{
        {"not executable", {{"Brinmoor.app/bin/brinmoor", program(QStringLiteral("/dev/null"), "x"), 0644}}},
        {"link out of the app folder", {{"Brinmoor.app/bin/brinmoor", "", 0777, "../../brinmoor"}, {"brinmoor", program(QStringLiteral("/dev/null"), "x"), 0755}}},
    };
    for (const auto& [name, entries] : cases) {
        SCOPED_TRACE(name);
        QString refusalFile;
        Fixture f({}, 0, [&](UpdateChecker::Environment& env) { env.refusalFile = refusalFile = env.tempFolder + QStringLiteral("/../refused"); });
        f.offer(QStringLiteral("2.0"), makeZip(entries));
        f.checkAndSettle();
        EXPECT_FALSE(f.checker->ready());
        const QString failure = QStringLiteral("Brinmoor 2.0 was not installed: its program is not an executable file inside the app folder. This version was kept.");
        EXPECT_EQ(f.checker->failure(), failure);
        EXPECT_EQ(readFile(refusalFile), "2.0\nnot-executable\n");
        // The same release again (2.0.0): nothing fetched, the pill still says why.
        f.offer(QStringLiteral("2.0.0"), makeZip(entries));
        f.checker->check();
        ASSERT_TRUE(waitUntil([&] { return f.checker->latestVersion() == QStringLiteral("2.0.0"); }));
        EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), 1);
        EXPECT_EQ(f.checker->failure(), failure);

        // The next start says so before the service answers.
        UpdateChecker::Environment env;
        env.currentVersion = QStringLiteral("1.2.0");
        env.refusalFile = refusalFile;
        EXPECT_EQ(UpdateChecker(env).failure(), failure);

        f.offer(QStringLiteral("2.1"), makeZip(release(QStringLiteral("/dev/null"), "x")));
        f.checker->check();
        ASSERT_TRUE(waitUntil([&] { return f.checker->ready(); }));
        EXPECT_EQ(f.checker->failure(), QString());
        EXPECT_FALSE(QFileInfo::exists(refusalFile));
    }
}

namespace {

// Releases whose links lead out of their `Brinmoor.app` folder, each beside a script of the
// user's at the link's outside target (a file at the top of the zip, beside the `.app` folder,
// where the swap copies nothing from). Named as below the folder that holds `Brinmoor.app`.
const struct {
    const char* name;
    QList<Entry> links;
} outsideLinks[] = {
    {"beside the app folder", {{"Brinmoor.app/bin/sidecar/brinmoor-reaper", "", 0777, "../../../side-reaper"}}},
    {"beside it, nothing there in the release", {{"Brinmoor.app/bin/sidecar/brinmoor-reaper", "", 0777, "../../../elsewhere"}}},
    {"a chain whose last link leaves",
     {{"Brinmoor.app/bin/sidecar/brinmoor-reaper", "", 0777, "next"}, {"Brinmoor.app/bin/sidecar/next", "", 0777, "../../../side-reaper"}}},
    // Read as written it stays inside; followed, "up" is the app folder and its ".." the one beside.
    {"out through a link to the folder itself",
     {{"Brinmoor.app/bin/up", "", 0777, ".."}, {"Brinmoor.app/bin/sidecar/brinmoor-reaper", "", 0777, "../up/../side-reaper"}}},
    {"out and back in", {{"Brinmoor.app/bin/sidecar/brinmoor-reaper", "", 0777, "../../../Brinmoor.app/bin/brinmoor"}}},
    {"a loop", {{"Brinmoor.app/bin/sidecar/a", "", 0777, "b"}, {"Brinmoor.app/bin/sidecar/b", "", 0777, "a"}}},
};

// Links that stay inside: kept, and a release with them is installed.
const QList<Entry> insideLinks{
    {"Brinmoor.app/lib/reaper", "#!/bin/sh\n", 0755},
    {"Brinmoor.app/bin/lib", "", 0777, "../lib"},
    {"Brinmoor.app/bin/sidecar/brinmoor-reaper", "", 0777, "../lib/reaper"},  // through the link above
    {"Brinmoor.app/bin/sidecar/not-yet", "", 0777, "../../share/missing"},     // dangles inside
    {"Brinmoor.app/share/here", "", 0777, "."},
};

QList<Entry> withLinks(QList<Entry> entries, const QList<Entry>& links, const QString& sideMarker)
{
    entries += links;
    entries << Entry{"side-reaper", "#!/bin/sh\necho ran >> '" + sideMarker.toUtf8() + "'\n", 0755};
    return entries;
}

} // namespace

TEST(UpdateChecks, release_whose_links_lead_out_of_its_app_folder_is_refused)
{
    const QString failure = QStringLiteral("Brinmoor 2.0 was not installed: a link inside it leads out of the app folder. This version was kept.");
    for (const auto& [name, links] : outsideLinks) {
        SCOPED_TRACE(name);
        QString refusalFile;
        Fixture f({}, 0, [&](UpdateChecker::Environment& env) { env.refusalFile = refusalFile = env.tempFolder + QStringLiteral("/../refused"); });
        const QString side = f.root.filePath(QStringLiteral("side-ran"));
        f.offer(QStringLiteral("2.0"), makeZip(withLinks(release(QStringLiteral("/dev/null"), "x"), links, side)));
        f.checkAndSettle();
        EXPECT_FALSE(f.checker->ready());
        EXPECT_TRUE(f.checker->newAppPath().isEmpty());
        EXPECT_EQ(f.checker->failure(), failure);
        EXPECT_EQ(readFile(refusalFile), "2.0\nlink-outside\n");
        EXPECT_EQ(tree(f.tmp()), QStringList{});
        EXPECT_FALSE(QFileInfo::exists(side));
        // Not fetched again; the next start says why at once.
        f.checkAndSettle();
        EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), 1);
        UpdateChecker::Environment env;
        env.currentVersion = QStringLiteral("1.2.0");
        env.refusalFile = refusalFile;
        EXPECT_EQ(UpdateChecker(env).failure(), failure);
    }
    // Links that stay inside their folder, however they get there, are kept as they are.
    Fixture f;
    f.offer(QStringLiteral("2.0"), makeZip(withLinks(release(QStringLiteral("/dev/null"), "x"), insideLinks, QStringLiteral("/dev/null"))));
    f.checkAndSettle();
    ASSERT_TRUE(f.checker->ready());
    EXPECT_EQ(f.checker->failure(), QString());
    const QString app = f.checker->newAppPath();
    EXPECT_EQ(QFileInfo(app + QStringLiteral("/bin/sidecar/brinmoor-reaper")).canonicalFilePath(),
              QFileInfo(app + QStringLiteral("/lib/reaper")).canonicalFilePath());
}

TEST(UpdateChecks, version_that_names_a_path_starts_no_download_and_deletes_nothing)
{
    Fixture f;
    // "tmp/BrinmoorUpdate-9.9/../../victim" would be the victim folder beside tmp.
    QDir(f.root.path()).mkpath(QStringLiteral("victim/keep"));
    for (const QString& version : {QStringLiteral("9.9/../../victim"), QStringLiteral("9.9 ; rm"), QStringLiteral("..")}) {
        f.offer(version, makeZip(release(QStringLiteral("/dev/null"), "x")));
        const int before = f.server.hits.value(QStringLiteral("/svc/api/app/version"));
        f.checker->check();
        ASSERT_TRUE(waitUntil([&] { return f.server.hits.value(QStringLiteral("/svc/api/app/version")) > before; }));
    }
    // The refused record is answered before the next check: one good record proves the order.
    f.offer(QStringLiteral("1.0"), QByteArray());
    f.checkAndSettle();
    EXPECT_EQ(f.checker->latestVersion(), QStringLiteral("1.0"));
    EXPECT_FALSE(f.checker->available());
    EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), 0);
    EXPECT_TRUE(QFileInfo::exists(f.root.filePath(QStringLiteral("victim/keep"))));

    // Nothing ready: installing opens the page of the last record.
    f.checker->install();
    EXPECT_EQ(f.opened, QList<QUrl>{QUrl(f.server.url(QStringLiteral("/page")))});
    EXPECT_EQ(f.quits, 0);
}

TEST(UpdateChecks, page_and_download_open_only_as_https_or_loopback_http)
{
    QTemporaryDir elsewhere;
    const QString secret = QUrl::fromLocalFile(elsewhere.filePath(QStringLiteral("secret"))).toString();
    QFile(elsewhere.filePath(QStringLiteral("secret"))).open(QIODevice::WriteOnly);
    // `why`: what the update pill says of the refused page.
    const struct {
        QString page, download, why;
    } refused[] = {
        {secret, secret, QStringLiteral("its address is file:, not https.")},
        {QStringLiteral("javascript:alert(1)"), QStringLiteral("ftp://127.0.0.1/app.zip"), QStringLiteral("its address is javascript:, not https.")},
        {QStringLiteral("http://example.invalid/page"), QStringLiteral("http://example.invalid/app.zip"),
         QStringLiteral("its address is plain http to example.invalid, not https.")},
        {QStringLiteral("x-scheme-handler://run"), QStringLiteral("data:application/zip;base64,UEsFBg=="),
         QStringLiteral("its address is x-scheme-handler:, not https.")},
        {QStringLiteral("https://"), QString(), QStringLiteral("its address names no host.")},
        {QStringLiteral("http://exa mple.invalid/<b>x</b>"), QString(), QStringLiteral("its address is not a web address.")},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.page.toStdString());
        Fixture f;
        f.server.routes[QStringLiteral("/svc/api/app/version")] = {record(QStringLiteral("2.0"), r.download, r.page)};
        f.checkAndSettle();
        EXPECT_TRUE(f.checker->available());
        EXPECT_TRUE(f.checker->pageURL().isEmpty());  // no page: the pill offers nothing to open, and says why
        EXPECT_EQ(f.checker->pageProblem(), QStringLiteral("The download page can't be opened: ") + r.why);
        EXPECT_TRUE(f.checker->fileURL().isEmpty());
        EXPECT_FALSE(f.checker->openPage());
        EXPECT_FALSE(f.checker->install());
        EXPECT_TRUE(f.opened.isEmpty());
        EXPECT_EQ(tree(f.tmp()), QStringList{});  // nothing was fetched
    }

    // An https page is kept and opened; the loopback server's own http page is the other tests'.
    // Each record says afresh whether its page is refused.
    Fixture f;
    for (const QString& page : {QStringLiteral("http://example.invalid/page"), QStringLiteral("https://example.invalid/page"),
                                QStringLiteral("http://example.invalid/again"), QString()}) {
        f.server.routes[QStringLiteral("/svc/api/app/version")] = {record(QStringLiteral("2.0"), QString(), page)};
        QSignalSpy changed(f.checker.get(), &UpdateChecker::pageURLChanged);
        f.checker->check();
        ASSERT_TRUE(waitUntil([&] { return !changed.isEmpty(); })) << page.toStdString();
        EXPECT_EQ(f.checker->pageProblem().isEmpty(), !page.startsWith(QStringLiteral("http:"))) << page.toStdString();
        if (page.startsWith(QStringLiteral("https:"))) {
            EXPECT_TRUE(f.checker->openPage());
            EXPECT_EQ(f.opened, QList<QUrl>{QUrl(page)});
        }
    }
}

TEST(UpdateChecks, versions_compare_as_numbers_and_only_an_app_folder_is_replaced)
{
    const auto newer = &UpdateChecker::isNewer;
    EXPECT_TRUE(newer(QStringLiteral("1.10"), QStringLiteral("1.9")));
    EXPECT_TRUE(newer(QStringLiteral("1.2.1"), QStringLiteral("1.2")));
    EXPECT_TRUE(newer(QStringLiteral("2.0-rc"), QStringLiteral("1.9")));
    EXPECT_FALSE(newer(QStringLiteral("1.2.0"), QStringLiteral("1.2")) || newer(QStringLiteral("1.2"), QStringLiteral("1.2.0")));
    EXPECT_FALSE(newer(QStringLiteral("1.3-beta"), QStringLiteral("1.3")) || newer(QString(), QStringLiteral("0")));

    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("Brinmoor.app/bin"));
    QDir(root.path()).mkpath(QStringLiteral("build/bin"));
    EXPECT_EQ(UpdateChecker::installedAppFolder(root.filePath(QStringLiteral("Brinmoor.app/bin"))), root.filePath(QStringLiteral("Brinmoor.app")));
    EXPECT_EQ(UpdateChecker::installedAppFolder(root.filePath(QStringLiteral("build/bin"))), QString());
}

namespace {

// A finished process: the swap script finds it gone at once.
qint64 goneProcess()
{
    QProcess p;
    p.start(QStringLiteral("true"), {});
    p.waitForStarted();
    const qint64 pid = p.processId();
    p.waitForFinished();
    return pid;
}

void writeExecutable(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

} // namespace

TEST(UpdateSwap, install_replaces_the_folder_and_starts_the_new_build_on_awkward_paths)
{
    QTemporaryDir place;
    const QString parent = place.filePath(QStringLiteral("it's my \"apps\" $(touch x)"));
    const QString installed = parent + QStringLiteral("/Brinmoor.app");
    const QString marker = place.filePath(QStringLiteral("a marker's file"));
    writeExecutable(installed + QStringLiteral("/bin/brinmoor"), "#!/bin/bash\necho old >> '" + marker.toUtf8().replace("'", "'\\''") + "'\n");
    QFile(installed + QStringLiteral("/old-only")).open(QIODevice::WriteOnly);

    Fixture f(installed, goneProcess());
    f.offer(QStringLiteral("3.0"), makeZip(release(marker, "new")));
    f.checkAndSettle();
    ASSERT_TRUE(f.checker->ready());
    f.checker->install();
    EXPECT_EQ(f.quits, 1);
    EXPECT_TRUE(f.opened.isEmpty());
    f.checker->quitting();
    ASSERT_TRUE(waitUntil([&] { return readFile(marker) == "new\n"; }));
    EXPECT_EQ(readFile(installed + QStringLiteral("/share/readme")), "new build");
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral("/old-only")));
    // The previous folder goes once the new build has said it started.
    EXPECT_TRUE(waitUntil([&] { return tree(parent) == QStringList{QStringLiteral("Brinmoor.app")}; }));
    EXPECT_FALSE(QFileInfo::exists(place.filePath(QStringLiteral("x"))));
}

TEST(UpdateSwap, missing_new_folder_keeps_and_restarts_the_installed_one)
{
    QTemporaryDir place;
    const QString installed = place.filePath(QStringLiteral("Brinmoor.app"));
    const QString marker = place.filePath(QStringLiteral("marker"));
    writeExecutable(installed + QStringLiteral("/bin/brinmoor"), "#!/bin/bash\necho old >> '" + marker.toUtf8() + "'\n");
    for (const QString& fresh : {place.filePath(QStringLiteral("gone.app")), place.filePath(QStringLiteral("empty.app"))}) {
        QDir().mkpath(place.filePath(QStringLiteral("empty.app")));  // no executable inside
        QFile::remove(marker);
        QProcess bash;
        bash.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), UpdateChecker::swapScript(), QStringLiteral("brinmoor-swap"),
                                                 QString::number(goneProcess()), installed, fresh});
        ASSERT_TRUE(bash.waitForFinished());
        EXPECT_NE(bash.exitCode(), 0);
        ASSERT_TRUE(waitUntil([&] { return readFile(marker) == "old\n"; }));
        EXPECT_TRUE(QFileInfo(installed + QStringLiteral("/bin/brinmoor")).isExecutable());
        // No side copies; a new folder the swap was given is used up either way.
        QStringList left = tree(place.path());
        left.removeAll(QStringLiteral("empty.app"));  // made for the second round
        EXPECT_EQ(left, (QStringList{QStringLiteral("Brinmoor.app"), QStringLiteral("marker")}));
    }
}

TEST(UpdateSwap, new_build_that_cannot_start_gives_back_the_previous_folder_and_starts_it)
{
    QTemporaryDir place;
    const QString installed = place.filePath(QStringLiteral("Brinmoor.app")), fresh = place.filePath(QStringLiteral("unpacked/Brinmoor.app"));
    const QString marker = place.filePath(QStringLiteral("marker")), report = place.filePath(QStringLiteral("refused"));
    // The restarted build logs its arguments: the outcome it is handed.
    const QByteArray old = "#!/bin/bash\necho old \"$@\" >> '" + marker.toUtf8() + "'\n";
    writeExecutable(installed + QStringLiteral("/bin/brinmoor"), old);
    // What the link case points to: found from the unpacked folder, dangling once the `.app` is copied.
    writeExecutable(place.filePath(QStringLiteral("unpacked/brinmoor")), program(marker, "new"));
    const struct {
        const char* name;
        QByteArray text;  // none: a link to ../../brinmoor
        bool executable;
        const char* reason;
    } cases[] = {
        {"exits 1", "#!/bin/sh\nexit 1\n", true, "no-start"},
        {"garbage", QByteArray("\x7f" "ELF\2\1\1\0\0garbage", 16), true, "no-start"},
        {"not executable", program(marker, "new"), false, "not-executable"},
        {"link that dangles once copied", {}, true, "not-executable"},
        {"answers its version but opens no window", program(marker, "new", false), true, "no-window"},
        // Its window comes up, then it dies before the settle time: the previous folder was kept for this.
        {"crashes a second after its window", crashing("kill -SEGV $$"), true, "crashed"},
        {"exits with an error after its window", crashing("exit 3"), true, "crashed"},
        // Only a quit its user asked for (it says so first) ends it cleanly in the settle time.
        {"ends by itself with status 0 after its window", crashing("exit 0"), true, "ended"},
        // A copy the user started meanwhile holds the data folder: the release is not at fault.
        {"meets another copy holding the data folder",
         "#!/bin/bash\n[ \"$1\" = --version ] && { echo Brinmoor 3.0; exit; }\necho > \"$BRINMOOR_UPDATE_MARKER.another-copy\"\n",
         true, "another-copy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(fresh).removeRecursively();
        QFile::remove(marker);
        const QString exe = fresh + QStringLiteral("/bin/brinmoor");
        if (c.text.isEmpty()) {
            QDir().mkpath(fresh + QStringLiteral("/bin"));
            ASSERT_EQ(::symlink("../../brinmoor", QFile::encodeName(exe).constData()), 0);
        } else {
            writeExecutable(exe, c.text);
            if (!c.executable)
                QFile::setPermissions(exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        QProcess bash;
        bash.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), UpdateChecker::swapScript(), QStringLiteral("brinmoor-swap"),
                                                 QString::number(goneProcess()), installed, fresh, report, QStringLiteral("3.0"),
                                                 QStringLiteral("20"), QStringLiteral("30")});
        ASSERT_TRUE(bash.waitForFinished(60000));
        EXPECT_NE(bash.exitCode(), 0);
        ASSERT_TRUE(waitUntil([&] { return readFile(marker).contains("old "); }));
        EXPECT_TRUE(readFile(marker).endsWith(QByteArray("old --update-not-installed 3.0 ") + c.reason + '\n')) << readFile(marker).toStdString();
        EXPECT_EQ(readFile(installed + QStringLiteral("/bin/brinmoor")), old);
        EXPECT_EQ(readFile(report), QByteArray("3.0\n") + c.reason + '\n');
        EXPECT_EQ(tree(place.path()), (QStringList{QStringLiteral("Brinmoor.app"), QStringLiteral("marker"), QStringLiteral("refused"),
                                                    QStringLiteral("unpacked")}));  // no side copies
    }
}

// The swap checks the links again in the copy it installs: one handed a release whose links lead
// out of it gives it up before the swap, restarts the working app and says why; links that stay
// inside are installed as they are.
TEST(UpdateSwap, a_release_whose_links_lead_out_of_its_folder_is_not_installed)
{
    struct Case {
        const char* name;
        QList<Entry> links;
        bool inside;
    };
    std::vector<Case> cases{{"links that stay inside", insideLinks, true}};
    for (const auto& [name, links] : outsideLinks)
        cases.push_back({name, links, false});
    for (const auto& [name, links, inside] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir place;
        const QString installed = place.filePath(QStringLiteral("Brinmoor.app")), unpacked = place.filePath(QStringLiteral("unpacked"));
        const QString marker = place.filePath(QStringLiteral("marker")), report = place.filePath(QStringLiteral("refused"));
        const QString side = place.filePath(QStringLiteral("side-ran"));
        writeExecutable(installed + QStringLiteral("/bin/brinmoor"), "#!/bin/bash\necho old \"$@\" >> '" + marker.toUtf8() + "'\n");
        // Unpacked as the checker unpacks: its own check is not asked here.
        QFile zip(place.filePath(QStringLiteral("release.zip")));
        ASSERT_TRUE(zip.open(QIODevice::WriteOnly));
        zip.write(makeZip(withLinks(release(marker, "new"), links, side)));
        zip.close();
        ASSERT_TRUE(QDir().mkdir(unpacked));
        ASSERT_TRUE(UpdateChecker::unpackArchive(zip.fileName(), unpacked, 1 << 20));
        zip.remove();
        // The user's script stands beside the installed folder too, where an installed link would find it.
        writeExecutable(place.filePath(QStringLiteral("side-reaper")), "#!/bin/sh\necho ran >> '" + side.toUtf8() + "'\n");
        QProcess bash;
        bash.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), UpdateChecker::swapScript(), QStringLiteral("brinmoor-swap"),
                                                 QString::number(goneProcess()), installed, unpacked + QStringLiteral("/Brinmoor.app"),
                                                 report, QStringLiteral("3.0"), QStringLiteral("20"), QStringLiteral("1")});
        ASSERT_TRUE(bash.waitForFinished(60000));
        if (inside) {
            EXPECT_EQ(bash.exitCode(), 0);
            EXPECT_EQ(readFile(marker), "new\n");
            EXPECT_TRUE(QFileInfo(installed + QStringLiteral("/bin/sidecar/brinmoor-reaper")).isSymLink());
            EXPECT_FALSE(QFileInfo::exists(report));
        } else {
            EXPECT_NE(bash.exitCode(), 0);
            ASSERT_TRUE(waitUntil([&] { return readFile(marker).contains("old "); }));
            EXPECT_EQ(readFile(marker), "old --update-not-installed 3.0 link-outside\n");
            EXPECT_EQ(readFile(report), "3.0\nlink-outside\n");
            EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral("/bin/sidecar")));
        }
        EXPECT_FALSE(QFileInfo::exists(side)) << "the script beside the app folder ran";
        QStringList left = tree(place.path());
        left.removeAll(QStringLiteral("refused"));
        EXPECT_EQ(left, (QStringList{QStringLiteral("Brinmoor.app"), QStringLiteral("marker"), QStringLiteral("side-reaper"),
                                     QStringLiteral("unpacked")}));  // no side copies
    }
}

namespace {

// The swap scripts running for `installed`, their subshells aside (Linux: read from /proc).
int swapsFor(const QString& installed)
{
    const auto isSwap = [&](const QString& pid) {
        const QList<QByteArray> args = readFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).split('\0');
        return args.contains("brinmoor-swap") && args.contains(QFile::encodeName(installed));
    };
    int n = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const QString parent = QString::fromLatin1(stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1));
        n += isSwap(pid) && !isSwap(parent);
    }
    return n;
}

} // namespace

TEST(UpdateSwap, swap_starts_only_once_the_quit_is_certain_and_only_one)
{
    QTemporaryDir place;
    const QString installed = place.filePath(QStringLiteral("Brinmoor.app")), marker = place.filePath(QStringLiteral("marker"));
    const QByteArray old = "#!/bin/bash\necho old >> '" + marker.toUtf8() + "'\n";
    writeExecutable(installed + QStringLiteral("/bin/brinmoor"), old);
    Fixture f(installed, goneProcess());
    f.offer(QStringLiteral("3.0"), makeZip(release(marker, "new")));
    f.checkAndSettle();
    ASSERT_TRUE(f.checker->ready());

    // "Install Update", then "Don't quit" at the question about unsaved changes, three times:
    // each asks to quit, none leaves a swap waiting, and the ordinary quit after them installs nothing.
    for (int click = 1; click <= 3; ++click) {
        EXPECT_TRUE(f.checker->install());
        EXPECT_EQ(f.quits, click);
        EXPECT_EQ(swapsFor(installed), 0);
        f.checker->cancelInstall();
    }
    f.checker->quitting();
    EXPECT_EQ(swapsFor(installed), 0);
    EXPECT_EQ(readFile(installed + QStringLiteral("/bin/brinmoor")), old);

    // Asked twice and quit for real (aboutToQuit may come more than once): one swap.
    f.checker->install();
    f.checker->install();
    f.checker->quitting();
    f.checker->quitting();
    EXPECT_LE(swapsFor(installed), 1);
    ASSERT_TRUE(waitUntil([&] { return readFile(marker) == "new\n" && tree(place.path()).size() == 2 && swapsFor(installed) == 0; }));
    EXPECT_EQ(readFile(marker), "new\n");
}

// The temporary folder or the app folder's disk full or read-only at the swap: a tmpfs mounted in
// a mount namespace of the swap's own (unshare; as root, or in a user namespace). The working app
// is restarted, the report names the true trouble, and the restarted checker holds the version
// back for its first check only, then fetches it again.
TEST(UpdateSwap, local_trouble_keeps_the_app_says_why_and_offers_the_update_again)
{
    const QString setup = QStringLiteral(R"(
dir=$1 where=$2 how=$3; shift 3
mount -t tmpfs -o size=256k tmpfs "$dir" 2>/dev/null || exit 97
if [ "$where" = app ]; then cp -pR "$ORIGINAL" "$dir/Brinmoor.app" || exit 98; fi
if [ "$how" = full ]; then head -c 1048576 /dev/zero >"$dir/filler" 2>/dev/null; else mount -o remount,ro "$dir" || exit 98; fi
exec bash -c "$SWAP" brinmoor-swap "$@")");
    const struct {
        const char* where;
        const char* how;
        const char* word;
        QString why;  // %1: the mounted folder, the temporary one or the one that holds the app
    } cases[] = {
        {"tmp", "full", "tmp-full", QStringLiteral("the disk of the temporary folder %1 is full")},
        {"tmp", "ro", "tmp-not-writable", QStringLiteral("the temporary folder %1 is not writable")},
        {"app", "full", "app-full", QStringLiteral("the disk of %1 is full")},
        {"app", "ro", "app-not-writable", QStringLiteral("%1 is not writable")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        QTemporaryDir place;
        const QString mounted = place.filePath(QStringLiteral("mounted")), marker = place.filePath(QStringLiteral("marker"));
        const QString report = place.filePath(QStringLiteral("report")), original = place.filePath(QStringLiteral("original.app"));
        QDir().mkpath(mounted);
        writeExecutable(original + QStringLiteral("/bin/brinmoor"), "#!/bin/bash\necho old >> '" + marker.toUtf8() + "'\n");
        const bool inApp = QByteArray(c.where) == "app";
        const QString installed = inApp ? mounted + QStringLiteral("/Brinmoor.app") : original;
        const QString fresh = place.filePath(QStringLiteral("unpacked/Brinmoor.app"));
        writeExecutable(fresh + QStringLiteral("/bin/brinmoor"), program(marker, "new"));

        QProcess swap;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORIGINAL"), original);
        env.insert(QStringLiteral("SWAP"), UpdateChecker::swapScript());
        env.insert(QStringLiteral("TMPDIR"), inApp ? place.path() : mounted);
        swap.setProcessEnvironment(env);
        const QStringList args{QStringLiteral("bash"), QStringLiteral("-c"), setup, QStringLiteral("setup"), mounted,
                               QLatin1String(c.where), QLatin1String(c.how), QString::number(goneProcess()), installed,
                               fresh, report, QStringLiteral("3.0"), QStringLiteral("20"), QStringLiteral("2")};
        swap.start(QStringLiteral("unshare"), QStringList{getuid() == 0 ? QStringLiteral("-m") : QStringLiteral("-rm")} + args);
        ASSERT_TRUE(swap.waitForFinished(60000));
        if (swap.exitCode() == 97 || swap.error() == QProcess::FailedToStart)
            GTEST_SKIP() << "no tmpfs in a mount namespace here";
        EXPECT_EQ(swap.exitCode(), 1) << swap.readAllStandardError().toStdString();
        ASSERT_TRUE(waitUntil([&] { return readFile(marker) == "old\n"; }));
        EXPECT_EQ(readFile(report), QByteArray("3.0\n") + c.word + '\n');

        // The restarted app: says why, fetches nothing at its first check, and the version again at the next.
        Fixture f(inApp ? installed : original, 0, [&](UpdateChecker::Environment& e) {
            e.refusalFile = report;
            e.tempFolder = inApp ? e.tempFolder : mounted;
        });
        EXPECT_EQ(f.checker->failure(), QStringLiteral("Brinmoor 3.0 was not installed: %1. This version was kept; the update is "
                                                       "offered again at a later check.").arg(c.why.arg(mounted)));
        EXPECT_FALSE(QFileInfo::exists(report));  // the next start tries again too
        f.offer(QStringLiteral("3.0"), makeZip(release(marker, "new")));
        f.checkAndSettle();
        EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), 0);
        EXPECT_FALSE(f.checker->failure().isEmpty());
        f.checker->check();
        ASSERT_TRUE(waitUntil([&] { return f.checker->ready(); }));
        EXPECT_EQ(f.checker->failure(), QString());
    }
}

// An update folder of many entries, left by an earlier run or refused after unpacking (a "../"
// entry at its end), is removed off this thread: its three subfolders go one after another, and
// this thread, turning its event loop every few milliseconds, sees one gone while another is not.
// Removing them here would go from all three to none with nothing seen in between.
TEST(UpdateChecks, update_folders_are_removed_while_the_event_loop_keeps_turning)
{
    const QStringList parts{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    constexpr int perPart = 5000;
    for (bool leftover : {true, false}) {
        SCOPED_TRACE(leftover ? "left by an earlier run" : "refused after unpacking");
        Fixture f;
        const QString base = f.tmp() + QStringLiteral("/BrinmoorUpdate-2.0/Brinmoor.app/");
        QList<Entry> entries = release(QStringLiteral("/dev/null"), "x");
        for (const QString& part : parts) {
            if (leftover)
                QDir().mkpath(base + part);
            for (int i = 0; i < perPart; ++i) {
                if (leftover)
                    QFile(base + part + QLatin1Char('/') + QString::number(i)).open(QIODevice::WriteOnly);
                else
                    entries << Entry{"Brinmoor.app/" + part.toUtf8() + '/' + QByteArray::number(i)};
            }
        }
        if (!leftover)
            entries << Entry{"../escaped", "x"};
        f.offer(QStringLiteral("2.0"), makeZip(leftover ? release(QStringLiteral("/dev/null"), "x") : entries));
        bool sawAll = leftover, sawPartial = false;
        f.checker->check();
        ASSERT_TRUE(waitUntil(
            [&] {
                int present = 0;
                for (const QString& part : parts)
                    present += QFileInfo::exists(base + part);
                sawAll = sawAll || present == 3;
                sawPartial = sawPartial || (sawAll && present > 0 && present < 3);
                return f.server.hits.value(QStringLiteral("/app.zip")) == 1 && !f.checker->downloading();
            },
            60000));
        EXPECT_TRUE(sawPartial);
        EXPECT_EQ(f.checker->ready(), leftover);
        EXPECT_EQ(tree(f.tmp()), leftover ? QStringList{QStringLiteral("BrinmoorUpdate-2.0")} : QStringList{});
    }
}

// A copy of the app that the user starts while the swap waits for the old one to go checks and
// unpacks the same release into the update folder again: the swap installs the release it was
// handed all the same, and leaves nothing of the handover behind.
TEST(UpdateSwap, a_copy_started_during_the_swap_does_not_change_the_release_under_it)
{
    QTemporaryDir place;
    const QString installed = place.filePath(QStringLiteral("Brinmoor.app")), marker = place.filePath(QStringLiteral("marker"));
    writeExecutable(installed + QStringLiteral("/bin/brinmoor"), "#!/bin/bash\necho old >> '" + marker.toUtf8() + "'\n");
    QProcess oldApp;  // what the swap waits for
    oldApp.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(oldApp.waitForStarted());
    Fixture f(installed, oldApp.processId());
    f.offer(QStringLiteral("3.0"), makeZip(release(marker, "new")));
    f.checkAndSettle();
    ASSERT_TRUE(f.checker->ready());
    f.checker->install();
    f.checker->quitting();
    // The copy: same temporary folder, same version; what it unpacks differs, so that it shows.
    f.offer(QStringLiteral("3.0"), makeZip(release(marker, "copy's")));
    auto copy = std::make_unique<UpdateChecker>([&] {
        UpdateChecker::Environment env;
        env.baseURL = f.server.url(QStringLiteral("/svc"));
        env.currentVersion = QStringLiteral("1.2.0");
        env.appFolder = installed;
        env.tempFolder = f.tmp();
        return env;
    }());
    copy->check();
    ASSERT_TRUE(waitUntil([&] { return copy->ready(); }));
    oldApp.kill();
    oldApp.waitForFinished();
    ASSERT_TRUE(waitUntil([&] { return readFile(marker) == "new\n" && tree(place.path()).size() == 2; })) << readFile(marker).toStdString();
    EXPECT_EQ(readFile(installed + QStringLiteral("/share/readme")), "new build");
    // The copy's own unpacked release is still there for it; no handover folder is left.
    EXPECT_TRUE(QFileInfo(copy->newAppPath()).isDir());
    EXPECT_EQ(tree(f.tmp()), QStringList{QStringLiteral("BrinmoorUpdate-3.0")});
}

// The copy the user started during the swap may itself run the new build (started once the
// folders were swapped): the trial that meets it leaves the update in place rather than take the
// folder from under that copy.
TEST(UpdateSwap, a_copy_that_runs_the_new_build_keeps_it)
{
    QTemporaryDir place;
    const QString installed = place.filePath(QStringLiteral("Brinmoor.app")), fresh = place.filePath(QStringLiteral("unpacked/Brinmoor.app"));
    const QString marker = place.filePath(QStringLiteral("marker")), report = place.filePath(QStringLiteral("refused"));
    writeExecutable(installed + QStringLiteral("/bin/brinmoor"), "#!/bin/bash\necho old >> '" + marker.toUtf8() + "'\n");
    // The user's copy: a program of the new build's folder (a copy of sleep), started from there.
    QDir().mkpath(fresh + QStringLiteral("/bin"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), fresh + QStringLiteral("/bin/user-copy")));
    writeExecutable(fresh + QStringLiteral("/bin/brinmoor"),
                    "#!/bin/bash\n[ \"$1\" = --version ] && { echo Brinmoor 3.0; exit; }\n"
                    "setsid \"$(dirname \"$0\")/user-copy\" 30 </dev/null >/dev/null 2>&1 &\necho $! > '" + place.filePath(QStringLiteral("copy")).toUtf8() + "'\n"
                    "echo > \"$BRINMOOR_UPDATE_MARKER.another-copy\"\n");
    QProcess bash;
    bash.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), UpdateChecker::swapScript(), QStringLiteral("brinmoor-swap"),
                                             QString::number(goneProcess()), installed, fresh, report, QStringLiteral("3.0")});
    ASSERT_TRUE(bash.waitForFinished(60000));
    const pid_t copy = readFile(place.filePath(QStringLiteral("copy"))).trimmed().toInt();
    const auto endCopy = qScopeGuard([&] { if (copy > 0) ::kill(copy, SIGKILL); });
    EXPECT_EQ(bash.exitCode(), 0);
    EXPECT_TRUE(QFileInfo(installed + QStringLiteral("/bin/user-copy")).isExecutable());
    EXPECT_FALSE(QFileInfo::exists(report));
    EXPECT_FALSE(QFileInfo::exists(marker)) << "the previous build was started again";
    EXPECT_EQ(tree(place.path()), (QStringList{QStringLiteral("Brinmoor.app"), QStringLiteral("copy"), QStringLiteral("unpacked")}));
}

// The swap hands its outcome to the restart as arguments as well, so it reaches the restarted app
// when the data folder took no report (read-only): the pill says why, a release at fault is not
// fetched again, and a trouble of this machine only holds the version back for one check.
TEST(UpdateSwap, the_outcome_reaches_the_restarted_app_when_the_report_cannot_be_written)
{
    QTemporaryDir place;
    const QString installed = place.filePath(QStringLiteral("Brinmoor.app")), fresh = place.filePath(QStringLiteral("unpacked/Brinmoor.app"));
    const QString marker = place.filePath(QStringLiteral("marker"));
    const QString report = place.filePath(QStringLiteral("no such folder/refused"));  // cannot be written, root or not
    writeExecutable(installed + QStringLiteral("/bin/brinmoor"), "#!/bin/bash\nprintf '%s\\n' \"$@\" >> '" + marker.toUtf8() + "'\n");
    writeExecutable(fresh + QStringLiteral("/bin/brinmoor"), "#!/bin/sh\nexit 1\n");
    QProcess bash;
    bash.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), UpdateChecker::swapScript(), QStringLiteral("brinmoor-swap"),
                                             QString::number(goneProcess()), installed, fresh, report, QStringLiteral("3.0")});
    ASSERT_TRUE(bash.waitForFinished(60000));
    ASSERT_TRUE(waitUntil([&] { return readFile(marker).count('\n') == 3; }));
    const QList<QByteArray> args = readFile(marker).trimmed().split('\n');
    EXPECT_EQ(args, (QList<QByteArray>{"--update-not-installed", "3.0", "no-start"}));
    EXPECT_FALSE(QFileInfo::exists(report));

    const struct {
        const char* word;
        const char* failure;
        int fetchesAtFirstCheck;
    } cases[] = {
        {"no-start", "Brinmoor 3.0 was not installed: its program does not start. This version was kept.", 0},
        {"another-copy", "Brinmoor 3.0 was not installed: another copy of Brinmoor was started while it was being installed. "
                         "This version was kept; the update is offered again at a later check.", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        Fixture f({}, 0, [&](UpdateChecker::Environment& e) {
            e.refusalFile = report;
            e.restartReport = {QStringLiteral("3.0"), QString::fromLatin1(c.word)};
        });
        EXPECT_EQ(f.checker->failure(), QString::fromLatin1(c.failure));
        EXPECT_TRUE(f.checker->available());
        f.offer(QStringLiteral("3.0"), makeZip(release(marker, "new")));
        f.checkAndSettle();
        EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), c.fetchesAtFirstCheck);
        EXPECT_EQ(f.checker->failure(), QString::fromLatin1(c.failure));
        // The next check: a passing trouble lets the version be fetched again; a faulty release stays refused.
        f.checkAndSettle();
        const bool faulty = QByteArray(c.word) == "no-start";
        EXPECT_EQ(f.checker->ready(), !faulty);
        EXPECT_EQ(f.checker->failure().isEmpty(), !faulty);
    }
    // An outcome that is not ours (not newer, or a version that names a path) says nothing.
    for (const QString& version : {QStringLiteral("1.0"), QStringLiteral("../x")}) {
        Fixture f({}, 0, [&](UpdateChecker::Environment& e) { e.restartReport = {version, QStringLiteral("no-start")}; });
        EXPECT_EQ(f.checker->failure(), QString()) << version.toStdString();
        EXPECT_FALSE(f.checker->available());
    }
}

// A TMPDIR that names no folder gives Qt an empty temporary path: the system's own stands in, and
// a checker left with none downloads nothing, least of all into the working folder.
TEST(UpdateChecks, a_missing_temporary_folder_never_puts_the_update_in_the_working_folder)
{
    QTemporaryDir place;
    EXPECT_EQ(UpdateChecker::usableTempFolder(place.path()), place.path());
    for (const QString& missing : {QString(), place.filePath(QStringLiteral("gone")), QStringLiteral("relative")})
        EXPECT_EQ(UpdateChecker::usableTempFolder(missing), QStringLiteral("/tmp")) << missing.toStdString();

    const QString working = place.filePath(QStringLiteral("project"));
    QDir().mkpath(working);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(working));
    for (const QString& temp : {QString(), place.filePath(QStringLiteral("gone"))}) {
        Fixture f({}, 0, [&](UpdateChecker::Environment& e) { e.tempFolder = temp; });
        f.offer(QStringLiteral("3.0"), makeZip(release(QStringLiteral("/dev/null"), "x")));
        f.checkAndSettle();
        EXPECT_FALSE(f.checker->ready());
        EXPECT_EQ(f.server.hits.value(QStringLiteral("/app.zip")), 0);
    }
    QDir::setCurrent(before);
    EXPECT_EQ(tree(working), QStringList());
}

// The folders a refusal names stand isolated, their hidden characters and line breaks as marks:
// an override in the temporary folder's name cannot turn the sentence after it around.
TEST(UpdateChecker, a_refusal_shows_its_folders_isolated_and_marked)
{
    // In a first-strong isolate: the path's letters have no say in the sentence's direction.
    const QString fsi = QString(QChar(0x2068)), pdi = QString(QChar(0x2069));
    const struct {
        const char* word;
        QString why;
    } cases[] = {
        {"tmp-full", QStringLiteral("the disk of the temporary folder %1 is full")},
        {"app-not-writable", QStringLiteral("%1 is not writable")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        QTemporaryDir place;
        const QString spoofed = place.filePath(QString::fromUtf8("rlo\u202E\nlluf.tmp"));
        const QString report = place.filePath(QStringLiteral("report"));
        QFile file(report);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("3.0\n") + c.word + '\n');
        file.close();
        Fixture f(spoofed + QStringLiteral("/Brinmoor.app"), 0, [&](UpdateChecker::Environment& e) {
            e.refusalFile = report;
            e.tempFolder = spoofed;
        });
        const QString shown = fsi + place.filePath(QStringLiteral("rlo<U+202E><U+000A>lluf.tmp")) + pdi;
        EXPECT_EQ(f.checker->failure(), QStringLiteral("Brinmoor 3.0 was not installed: %1. This version was kept; the update is "
                                                       "offered again at a later check.").arg(c.why.arg(shown)));
    }
}
