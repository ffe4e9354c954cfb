// The state file: exact bytes, strict reading, defaults, skipping what cannot be read and keeping
// the rest, bounds on texts, moving or copying the original aside, and the development build's
// separate folder.

#include "Store.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace brinmoor;
using brinmoor::test::ScopedDataHome;

BRINMOOR_APP_TEST_ENVIRONMENT();

namespace {

QUuid uuid(const char* text)
{
    return *uuidFromText(QString::fromLatin1(text));
}

// A fixed snapshot that uses every key, every optional and every escape the writer knows.
Store::Snapshot goldenSnapshot()
{
    Session term;
    term.id = uuid("0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01");
    term.kind = PaneKind::Terminal;
    term.project = QStringLiteral("app");
    term.sessionLabel = QStringLiteral("session 1");
    term.directory = QStringLiteral("~/src/app");
    term.state = PaneState::Running;  // never written
    term.cost = QStringLiteral("$1.20");  // never written
    term.autoApprove = false;
    term.autoCompact = true;
    term.groupID = QStringLiteral("g1");
    term.muted = true;
    term.provider = ChatProvider::Claude;

    Session chat;
    chat.id = uuid("d3a1e5f0-1234-4bcd-8ef0-aabbccddeeff");
    chat.kind = PaneKind::Chat;
    chat.project = QStringLiteral("Caf\u00e9 \"quoted\"\tname");
    chat.sessionLabel = QStringLiteral("session 1");
    chat.directory = QStringLiteral("/Users/me/work/a\\b");
    chat.autoApprove = true;
    chat.autoCompact = false;
    chat.provider = ChatProvider::Codex;
    chat.claudeSessionId = QStringLiteral("conv/42");
    chat.doc = MarkdownDoc{QUuid::createUuid(), QStringLiteral("README.md"), QStringLiteral("# hi")};  // never written

    Workspace first;
    first.id = uuid("11111111-2222-4333-8444-555555555555");
    first.name = QStringLiteral("Web");
    first.colorHex = QStringLiteral("5b8cee");
    first.sessions = {term, chat};
    first.forcedColumns = 3;
    first.maxRows = 2;
    first.bigSideLeft = true;

    Workspace second;
    second.id = uuid("aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee");
    second.name = QStringLiteral("Empty");
    second.colorHex = QStringLiteral("e0a84f");

    Store::Snapshot snap;
    snap.workspaces = {first, second};
    snap.selected = first.id;
    snap.recents = {QStringLiteral("/Users/me/src/app"), QStringLiteral("~/work")};
    return snap;
}

QByteArray goldenBytes()
{
    QFile f(QStringLiteral(BRINMOOR_TEST_DATA "/state.json"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void expectSameSessions(const Session& a, const Session& b)
{
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.project, b.project);
    EXPECT_EQ(a.sessionLabel, b.sessionLabel);
    EXPECT_EQ(a.directory, b.directory);
    EXPECT_EQ(a.autoApprove, b.autoApprove);
    EXPECT_EQ(a.autoCompact, b.autoCompact);
    EXPECT_EQ(a.groupID, b.groupID);
    EXPECT_EQ(a.muted, b.muted);
    EXPECT_EQ(a.provider, b.provider);
    EXPECT_EQ(a.claudeSessionId, b.claudeSessionId);
}

// A minimal valid file with one workspace holding `sessionJson` and the given workspace extras.
QByteArray fileWith(const QByteArray& sessionJson, const QByteArray& workspaceExtra = "",
                    const QByteArray& topExtra = "\"recents\":[],")
{
    return "{" + topExtra + "\"workspaces\":[{\"id\":\"11111111-2222-4333-8444-555555555555\",\"name\":\"W\","
           "\"colorHex\":\"5b8cee\"," + workspaceExtra + "\"sessions\":[" + sessionJson + "]}]}";
}

const QByteArray kMinimalSession =
    "{\"id\":\"0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01\",\"project\":\"p\",\"sessionLabel\":\"session 1\","
    "\"directory\":\"\\/tmp\",\"autoApprove\":false,\"muted\":false}";

} // namespace

TEST(StoreFormat, golden_snapshot_is_written_byte_for_byte_and_reads_back_equal)
{
    ScopedDataHome home;
    Store store(false);
    ASSERT_TRUE(store.save(goldenSnapshot()));
    const QByteArray written = home.readState();
    if (written != goldenBytes()) {
        // Left beside the test for a diff against the committed file.
        QFile actual(QStringLiteral("state.json.actual"));
        if (actual.open(QIODevice::WriteOnly))
            actual.write(written);
    }
    EXPECT_EQ(written.toStdString(), goldenBytes().toStdString());

    const auto loaded = store.load();
    ASSERT_TRUE(loaded.has_value());
    const Store::Snapshot want = goldenSnapshot();
    ASSERT_EQ(loaded->workspaces.size(), 2);
    EXPECT_EQ(loaded->selected, want.selected);
    EXPECT_EQ(loaded->recents, want.recents);
    for (int w = 0; w < 2; ++w) {
        const Workspace& a = loaded->workspaces[w];
        const Workspace& b = want.workspaces[w];
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.colorHex, b.colorHex);
        EXPECT_EQ(a.forcedColumns, b.forcedColumns);
        EXPECT_EQ(a.maxRows, b.maxRows);
        EXPECT_EQ(a.bigSideLeft, b.bigSideLeft);
        ASSERT_EQ(a.sessions.size(), b.sessions.size());
        for (qsizetype s = 0; s < a.sessions.size(); ++s) {
            expectSameSessions(a.sessions[s], b.sessions[s]);
            // Runtime fields are not saved: every session starts idle, without cost or document.
            EXPECT_EQ(a.sessions[s].state, PaneState::Idle);
            EXPECT_TRUE(a.sessions[s].cost.isEmpty());
            EXPECT_FALSE(a.sessions[s].doc.has_value());
        }
    }
}

TEST(StoreFormat, writer_escapes_slashes_sorts_keys_and_omits_unset_optionals)
{
    Store::Snapshot snap = goldenSnapshot();
    snap.selected.reset();
    snap.workspaces[0].forcedColumns.reset();
    const QByteArray bytes = Store::encode(snap);
    EXPECT_FALSE(bytes.contains("\"selected\""));
    EXPECT_FALSE(bytes.contains("\"forcedColumns\""));
    EXPECT_TRUE(bytes.contains("\"\\/Users\\/me\\/src\\/app\""));
    EXPECT_FALSE(bytes.contains("me/src"));
    // Upper-case UUIDs without braces.
    EXPECT_TRUE(bytes.contains("\"0B0C7A52-6F1E-4A43-9C1D-2F8E6A7B9C01\""));
    EXPECT_FALSE(bytes.contains('{' + QByteArray("0B0C")));
    // Top-level keys in sorted order.
    EXPECT_LT(bytes.indexOf("\"recents\""), bytes.indexOf("\"workspaces\""));
    // Control characters are escaped, never raw.
    Store::Snapshot odd;
    odd.recents = {QStringLiteral("a\x01" "b\nc")};
    EXPECT_TRUE(Store::encode(odd).contains("a\\u0001b\\nc"));
    const auto back = Store::decode(Store::encode(odd));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->recents, odd.recents);
}

TEST(StoreFormat, empty_snapshot_writes_empty_arrays_and_no_selection)
{
    const QByteArray bytes = Store::encode(Store::Snapshot{});
    EXPECT_EQ(bytes.toStdString(), std::string("{\n  \"recents\" : [],\n  \"workspaces\" : []\n}"));
    const auto back = Store::decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->workspaces.isEmpty());
    EXPECT_FALSE(back->selected);
}

TEST(StoreDefaults, absent_optional_keys_take_their_defaults)
{
    const auto snap = Store::decode(fileWith(kMinimalSession));
    ASSERT_TRUE(snap);
    const Workspace& w = snap->workspaces.at(0);
    EXPECT_EQ(w.maxRows, 4);
    EXPECT_FALSE(w.bigSideLeft);
    EXPECT_FALSE(w.forcedColumns);
    const Session& s = w.sessions.at(0);
    EXPECT_EQ(s.kind, PaneKind::Terminal);
    EXPECT_TRUE(s.autoCompact);
    EXPECT_EQ(s.provider, ChatProvider::Claude);
    EXPECT_FALSE(s.groupID);
    EXPECT_FALSE(s.claudeSessionId);
    EXPECT_EQ(s.directory, QStringLiteral("/tmp"));
    // No "selected": the caller selects the first workspace.
    EXPECT_FALSE(snap->selected);
}

TEST(StoreDefaults, max_rows_is_clamped_and_forced_columns_taken_unchecked)
{
    struct Row {
        const char* extra;
        int maxRows;
    } rows[] = {{"\"maxRows\":0,", 1}, {"\"maxRows\":9,", 4}, {"\"maxRows\":-3,", 1}, {"\"maxRows\":2,", 2}, {"", 4}};
    for (const Row& r : rows) {
        const auto snap = Store::decode(fileWith(kMinimalSession, r.extra));
        ASSERT_TRUE(snap) << r.extra;
        EXPECT_EQ(snap->workspaces.at(0).maxRows, r.maxRows) << r.extra;
    }
    const auto odd = Store::decode(fileWith(kMinimalSession, "\"forcedColumns\":0,"));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->workspaces.at(0).forcedColumns, 0);
}

TEST(StoreDefaults, nulls_count_as_absent_and_unknown_members_are_ignored)
{
    auto with = [](const char* member) {
        QByteArray s = kMinimalSession;
        s.chop(1);
        return Store::decode(fileWith(s + "," + member + "}"));
    };
    EXPECT_EQ(with("\"kind\":\"chat\"")->workspaces[0].sessions[0].kind, PaneKind::Chat);
    EXPECT_EQ(with("\"kind\":\"terminal\"")->workspaces[0].sessions[0].kind, PaneKind::Terminal);
    EXPECT_EQ(with("\"provider\":\"codex\"")->workspaces[0].sessions[0].provider, ChatProvider::Codex);
    // A present null counts as absent.
    const auto nulls = with("\"kind\":null,\"autoCompact\":null,\"groupID\":null,\"claudeSessionId\":null,\"provider\":null");
    ASSERT_TRUE(nulls);
    ASSERT_EQ(nulls->workspaces[0].sessions.size(), 1);
    EXPECT_EQ(nulls->workspaces[0].sessions[0].kind, PaneKind::Terminal);
    EXPECT_EQ(nulls->workspaces[0].sessions[0].provider, ChatProvider::Claude);
    EXPECT_TRUE(nulls->workspaces[0].sessions[0].autoCompact);
    EXPECT_FALSE(nulls->workspaces[0].sessions[0].groupID);
    // Unknown members are ignored.
    EXPECT_EQ(with("\"future\":{\"x\":1}")->workspaces[0].sessions.size(), 1);
    // UUIDs are read in either case.
    EXPECT_EQ(Store::decode(QByteArray(fileWith(kMinimalSession)).replace("4a43", "4A43"))->workspaces[0].sessions.size(), 1);
}

TEST(StoreRejection, bad_top_level_fails_the_whole_file)
{
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"malformed", "{\"recents\":[], \"workspaces\":["},
        {"no recents", fileWith(kMinimalSession, "", "")},
        {"no workspaces", "{\"recents\":[]}"},
        {"workspaces not an array", "{\"recents\":[],\"workspaces\":{}}"},
        {"recents of numbers", fileWith(kMinimalSession, "", "\"recents\":[1],")},
        {"bad selected", fileWith(kMinimalSession, "", "\"recents\":[],\"selected\":\"nope\",")},
        {"top level array", "[]"},
        {"empty", ""},
        {"trailing garbage", fileWith(kMinimalSession) + " {"},
        {"duplicate top level", "{\"recents\":[],\"workspaces\":[]}{}"},
        {"binary", QByteArray("\xff\xfe\x00\x01garbage", 12)},
    };
    for (const auto& c : cases) {
        QString error;
        Store::LoadReport report;
        EXPECT_FALSE(Store::decode(c.bytes, &error, &report)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
    }
}

TEST(StoreRejection, a_bad_session_or_workspace_is_skipped_and_the_rest_kept)
{
    QByteArray lacksMuted = kMinimalSession;
    lacksMuted.replace(",\"muted\":false", "");
    auto session = [](QByteArray from, const char* what, const char* with) { return from.replace(what, with); };
    const struct {
        const char* name;
        QByteArray session;
    } badSessions[] = {
        {"braced uuid", session(kMinimalSession, "\"0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01\"",
                                "\"{0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01}\"")},
        {"short uuid", session(kMinimalSession, "9c01\"", "9c0\"")},
        {"string muted", session(kMinimalSession, "\"muted\":false", "\"muted\":\"false\"")},
        {"number bool", session(kMinimalSession, "\"autoApprove\":false", "\"autoApprove\":0")},
        {"missing required", lacksMuted},
        {"null required", session(kMinimalSession, "\"project\":\"p\"", "\"project\":null")},
        {"number kind", session(kMinimalSession, "\"project\"", "\"kind\":1,\"project\"")},
        {"number provider", session(kMinimalSession, "\"project\"", "\"provider\":42,\"project\"")},
        // An unknown kind or provider is never read as some other kind of pane.
        {"unknown kind", session(kMinimalSession, "\"project\"", "\"kind\":\"chatx\",\"project\"")},
        {"kind in capitals", session(kMinimalSession, "\"project\"", "\"kind\":\"Chat\",\"project\"")},
        {"unknown provider", session(kMinimalSession, "\"project\"", "\"provider\":\"gemini\",\"project\"")},
        {"provider in capitals", session(kMinimalSession, "\"project\"", "\"provider\":\"CODEX\",\"project\"")},
        {"over-long directory", session(kMinimalSession, "\\/tmp", "\\/" + QByteArray(5000, 'd'))},
        {"not an object", "42"},
    };
    const QByteArray good = kMinimalSession;
    const QByteArray other = session(kMinimalSession, "9c01\"", "9c02\"");
    for (const auto& c : badSessions) {
        Store::LoadReport report;
        const auto snap = Store::decode(fileWith(good + "," + c.session + "," + other), nullptr, &report);
        ASSERT_TRUE(snap) << c.name;
        ASSERT_EQ(snap->workspaces.size(), 1) << c.name;
        const auto& kept = snap->workspaces[0].sessions;
        ASSERT_EQ(kept.size(), 2) << c.name;
        EXPECT_EQ(uuidText(kept[1].id), QStringLiteral("0B0C7A52-6F1E-4A43-9C1D-2F8E6A7B9C02")) << c.name;
        EXPECT_EQ(report.skippedSessions, 1) << c.name;
        EXPECT_EQ(report.skippedWorkspaces, 0) << c.name;
        EXPECT_TRUE(report.problems.value(0).contains(QStringLiteral("workspaces[0].sessions[1]"))) << c.name;
    }

    // A bad workspace goes with its sessions (counted once, as a workspace); its neighbours stay,
    // and a workspace without one readable session is kept empty.
    const QByteArray badWorkspaces[] = {"\"maxRows\":2.5,", "\"maxRows\":\"2\",", "\"bigSideLeft\":1,"};
    for (const QByteArray& extra : badWorkspaces) {
        QByteArray bytes = fileWith(kMinimalSession);
        const QByteArray second = QByteArray(fileWith(kMinimalSession, extra)).mid(bytes.indexOf("[{") + 1).chopped(2);
        const QByteArray third = QByteArray(fileWith("42")).mid(bytes.indexOf("[{") + 1).chopped(2).replace("5555\"", "5556\"");
        bytes.insert(bytes.size() - 2, "," + second + "," + third);
        Store::LoadReport report;
        const auto snap = Store::decode(bytes, nullptr, &report);
        ASSERT_TRUE(snap) << extra.constData();
        ASSERT_EQ(snap->workspaces.size(), 2) << extra.constData();
        EXPECT_EQ(snap->workspaces[0].sessions.size(), 1);
        EXPECT_TRUE(snap->workspaces[1].sessions.isEmpty());
        EXPECT_EQ(report.skippedWorkspaces, 1);
        EXPECT_EQ(report.skippedSessions, 1);
    }
}

TEST(StoreBounds, long_texts_are_cut_bad_ids_dropped_and_excess_recents_left_out)
{
    const QString pair = QStringLiteral("\U0001F600");  // two UTF-16 units
    const QByteArray longName = QString(QString(Store::maxNameLength - 1, QLatin1Char('n')) + pair + pair).toUtf8();
    QByteArray s = kMinimalSession;
    s.replace("\"project\":\"p\"", "\"project\":\"" + longName + "\",\"groupID\":\"" + QByteArray(5 << 20, 'g') + "\"");
    s.replace("\"session 1\"", "\"" + QByteArray(5 << 20, 'l') + "\"");
    s.chop(1);
    s += ",\"claudeSessionId\":\"" + QByteArray(1 << 20, 'c') + "\"}";
    QByteArray fine = kMinimalSession;
    fine.replace("9c01\"", "9c02\"").chop(1);
    fine += ",\"claudeSessionId\":\"d3a1e5f0-1234-4bcd-8ef0-aabbccddeeff\"}";
    QByteArray recents = "\"recents\":[\"" + QByteArray(5000, 'r') + "\"";
    for (int i = 0; i < 10; ++i)
        recents += ",\"\\/r" + QByteArray::number(i) + "\"";
    recents += "],";
    Store::LoadReport report;
    const auto snap = Store::decode(fileWith(s + "," + fine, "\"name\":\"" + QByteArray(1000, 'w') + "\",", recents),
                                    nullptr, &report);
    ASSERT_TRUE(snap);
    const Workspace& w = snap->workspaces.at(0);
    EXPECT_EQ(w.name.size(), Store::maxNameLength);
    ASSERT_EQ(w.sessions.size(), 2);
    const Session& cut = w.sessions[0];
    // Cut before a surrogate pair rather than through it.
    EXPECT_EQ(cut.project, QString(Store::maxNameLength - 1, QLatin1Char('n')));
    EXPECT_EQ(cut.sessionLabel.size(), Store::maxNameLength);
    EXPECT_EQ(cut.groupID->size(), Store::maxNameLength);
    EXPECT_FALSE(cut.claudeSessionId);
    EXPECT_EQ(w.sessions[1].claudeSessionId, QStringLiteral("d3a1e5f0-1234-4bcd-8ef0-aabbccddeeff"));
    EXPECT_EQ(snap->recents.size(), Store::maxRecents);
    EXPECT_EQ(snap->recents.first(), QStringLiteral("/r0"));
    // name, project, label, group and id; the long folder and the two folders past the eighth
    EXPECT_EQ(report.shortened, 8);
    EXPECT_EQ(report.skippedSessions, 0);
    EXPECT_FALSE(report.isClean());
}

TEST(StoreRejection, partly_readable_file_keeps_the_rest_copies_the_original_and_says_so)
{
    QByteArray lacksMuted = kMinimalSession;
    lacksMuted.replace(",\"muted\":false", "").replace("9c01\"", "9c03\"");
    QByteArray second = kMinimalSession;
    second.replace("9c01\"", "9c02\"");
    const QByteArray bytes = fileWith(kMinimalSession + "," + second + "," + lacksMuted);
    ScopedDataHome home;
    home.writeState(bytes);
    Store store(false);
    testing::internal::CaptureStderr();
    const auto snap = store.load();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(snap);
    ASSERT_EQ(snap->workspaces.size(), 1);
    EXPECT_EQ(snap->workspaces[0].sessions.size(), 2);
    EXPECT_EQ(store.lastLoad().skippedSessions, 1);
    EXPECT_FALSE(store.lastLoad().unreadable);
    // The original stays where it was and is also copied aside, byte for byte, before any save.
    EXPECT_EQ(home.readState(), bytes);
    ASSERT_FALSE(store.movedAsidePath().isEmpty());
    QFile aside(store.movedAsidePath());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), bytes);
    const QString notice = store.lastLoad().notice();
    EXPECT_TRUE(notice.contains(QStringLiteral("1 session could not be read"))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(store.movedAsidePath()));
    EXPECT_NE(log.find("missing \"muted\""), std::string::npos) << log;
    EXPECT_NE(log.find(notice.toStdString()), std::string::npos) << log;

    // A file that loads whole says nothing and is not copied.
    ASSERT_TRUE(store.save(*snap));
    Store again(false);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(again.load());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(again.lastLoad().isClean());
    EXPECT_TRUE(again.lastLoad().notice().isEmpty());
    EXPECT_TRUE(again.movedAsidePath().isEmpty());
}

TEST(StoreRejection, unreadable_file_starts_empty_and_is_moved_aside_not_overwritten)
{
    const QByteArray bad = fileWith(kMinimalSession, "", "");  // lacks "recents"
    ScopedDataHome home;
    home.writeState(bad);
    Store store(false);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.load());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(store.lastLoad().unreadable);
    EXPECT_TRUE(store.lastLoad().notice().contains(store.movedAsidePath()));
    EXPECT_NE(log.find("missing \"recents\""), std::string::npos) << log;
    // Moved aside, kept byte for byte.
    ASSERT_FALSE(store.movedAsidePath().isEmpty());
    EXPECT_TRUE(QFileInfo(store.movedAsidePath()).fileName().startsWith(QStringLiteral("state.json.unreadable-")));
    QFile aside(store.movedAsidePath());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), bad);
    EXPECT_FALSE(QFileInfo::exists(home.statePath()));
    // The next save writes a fresh file and leaves the moved one alone.
    EXPECT_TRUE(store.save(Store::Snapshot{}));
    EXPECT_TRUE(QFileInfo::exists(home.statePath()));
    EXPECT_TRUE(QFileInfo::exists(store.movedAsidePath()));

    // A second unreadable file within the same second gets its own name.
    home.writeState("{");
    Store again(false);
    EXPECT_FALSE(again.load());
    home.writeState("[");
    Store third(false);
    EXPECT_FALSE(third.load());
    EXPECT_NE(again.movedAsidePath(), third.movedAsidePath());
    EXPECT_TRUE(QFileInfo::exists(again.movedAsidePath()));
    EXPECT_TRUE(QFileInfo::exists(third.movedAsidePath()));
}

TEST(StoreFiles, missing_file_is_a_plain_first_run)
{
    ScopedDataHome home;
    Store store(false);
    EXPECT_FALSE(store.load());
    EXPECT_TRUE(store.movedAsidePath().isEmpty());
    // The folder is made on the way.
    EXPECT_TRUE(QFileInfo(QFileInfo(home.statePath()).path()).isDir());
}

TEST(StoreFiles, save_replaces_the_file_whole_and_leaves_no_temporary_files)
{
    ScopedDataHome home;
    Store store(false);
    Store::Snapshot snap = goldenSnapshot();
    ASSERT_TRUE(store.save(snap));
    snap.recents = {QStringLiteral("/only")};
    ASSERT_TRUE(store.save(snap));
    EXPECT_EQ(home.readState(), Store::encode(snap));
    const QStringList entries = QDir(QFileInfo(home.statePath()).path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entries, QStringList{QStringLiteral("state.json")});
}

TEST(StoreFiles, failed_write_says_why_keeps_the_old_file_and_the_next_save_succeeds)
{
    // Failures that hold also for root: a plain file where the data folder should be (the folder
    // cannot be made), and a folder where the file should be (the finished file cannot replace it).
    const struct {
        const char* name;
        const char* inTheWay;
        bool isFolder;
        const char* why;
    } rows[] = {
        {"folder is a file", "/Brinmoor", false, "Not a directory"},
        {"file is a folder", "/Brinmoor/state.json/x", true, "Is a directory"},
    };
    for (const auto& r : rows) {
        ScopedDataHome home;
        const QString blocker = home.path() + QLatin1String(r.inTheWay);
        ASSERT_TRUE(r.isFolder ? QDir().mkpath(blocker) : QFile(blocker).open(QIODevice::WriteOnly)) << r.name;
        Store store(false);
        QString why;
        EXPECT_FALSE(store.save(goldenSnapshot(), &why)) << r.name;
        EXPECT_EQ(why, QLatin1String(r.why)) << r.name;
        // Nothing was written, and no temporary file is left behind.
        const QString folder = QFileInfo(home.statePath()).path();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList()) << r.name;
        ASSERT_TRUE(r.isFolder ? QDir(home.statePath()).removeRecursively() : QFile::remove(blocker)) << r.name;
        EXPECT_TRUE(store.save(goldenSnapshot())) << r.name;
        EXPECT_TRUE(store.load()) << r.name;
    }
}

TEST(StoreFiles, development_build_uses_only_the_dev_folder)
{
    ScopedDataHome home;
    home.writeState(goldenBytes(), /*dev=*/false);
    Store dev(true);
    EXPECT_FALSE(dev.load());  // the released data is not read
    ASSERT_TRUE(dev.save(Store::Snapshot{}));
    EXPECT_TRUE(QFileInfo::exists(home.statePath(true)));
    EXPECT_TRUE(dev.filePath().endsWith(QStringLiteral("/Brinmoor-Dev/state.json")));
    // The released file is untouched.
    EXPECT_EQ(home.readState(false), goldenBytes());
    Store released(false);
    EXPECT_TRUE(released.load());
}
