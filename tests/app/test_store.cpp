// The state file: exact bytes, strict reading, defaults, moving an unreadable file aside, and the
// development build's separate folder.

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

TEST(StoreDefaults, unknown_kind_and_provider_texts_fall_back)
{
    auto with = [](const char* member) {
        QByteArray s = kMinimalSession;
        s.chop(1);
        return Store::decode(fileWith(s + "," + member + "}"));
    };
    EXPECT_EQ(with("\"kind\":\"Chat\"")->workspaces[0].sessions[0].kind, PaneKind::Terminal);
    EXPECT_EQ(with("\"kind\":\"chat\"")->workspaces[0].sessions[0].kind, PaneKind::Chat);
    EXPECT_EQ(with("\"provider\":\"CODEX\"")->workspaces[0].sessions[0].provider, ChatProvider::Claude);
    EXPECT_EQ(with("\"provider\":\"codex\"")->workspaces[0].sessions[0].provider, ChatProvider::Codex);
    // A present null counts as absent.
    const auto nulls = with("\"kind\":null,\"autoCompact\":null,\"groupID\":null,\"claudeSessionId\":null");
    ASSERT_TRUE(nulls);
    EXPECT_TRUE(nulls->workspaces[0].sessions[0].autoCompact);
    EXPECT_FALSE(nulls->workspaces[0].sessions[0].groupID);
    // Unknown members are ignored.
    EXPECT_TRUE(with("\"future\":{\"x\":1}"));
    // UUIDs are read in either case.
    EXPECT_TRUE(Store::decode(QByteArray(fileWith(kMinimalSession)).replace("4a43", "4A43")));
}

TEST(StoreRejection, any_bad_value_fails_the_whole_file)
{
    QByteArray lacksMuted = kMinimalSession;
    lacksMuted.replace(",\"muted\":false", "");
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"malformed", "{\"recents\":[], \"workspaces\":["},
        {"no recents", fileWith(kMinimalSession, "", "")},
        {"no workspaces", "{\"recents\":[]}"},
        {"braced uuid", QByteArray(fileWith(kMinimalSession)).replace("\"0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01\"",
                                                                      "\"{0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01}\"")},
        {"short uuid", QByteArray(fileWith(kMinimalSession)).replace("9c01\"", "9c0\"")},
        {"string muted", QByteArray(fileWith(kMinimalSession)).replace("\"muted\":false", "\"muted\":\"false\"")},
        {"number bool", QByteArray(fileWith(kMinimalSession)).replace("\"autoApprove\":false", "\"autoApprove\":0")},
        {"missing required", fileWith(lacksMuted)},
        {"null required", QByteArray(fileWith(kMinimalSession)).replace("\"project\":\"p\"", "\"project\":null")},
        {"fractional maxRows", fileWith(kMinimalSession, "\"maxRows\":2.5,")},
        {"string maxRows", fileWith(kMinimalSession, "\"maxRows\":\"2\",")},
        {"number kind", QByteArray(fileWith(kMinimalSession)).replace("\"project\"", "\"kind\":1,\"project\"")},
        {"recents of numbers", fileWith(kMinimalSession, "", "\"recents\":[1],")},
        {"bad selected", fileWith(kMinimalSession, "", "\"recents\":[],\"selected\":\"nope\",")},
        {"session not an object", fileWith("42")},
        {"top level array", "[]"},
        {"empty", ""},
        {"trailing garbage", fileWith(kMinimalSession) + " {"},
        {"duplicate top level", "{\"recents\":[],\"workspaces\":[]}{}"},
        {"binary", QByteArray("\xff\xfe\x00\x01garbage", 12)},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(Store::decode(c.bytes, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
    }
}

TEST(StoreRejection, unreadable_file_starts_empty_and_is_moved_aside_not_overwritten)
{
    const QByteArray bad = fileWith(kMinimalSession, "", "");  // lacks "recents"
    ScopedDataHome home;
    home.writeState(bad);
    Store store(false);
    EXPECT_FALSE(store.load());
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

TEST(StoreFiles, failed_write_is_dropped_and_the_next_save_succeeds)
{
    ScopedDataHome home;
    // A plain file where the data folder should be: the folder cannot be made.
    QFile blocker(home.path() + QStringLiteral("/Brinmoor"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Store store(false);
    EXPECT_FALSE(store.save(goldenSnapshot()));
    EXPECT_FALSE(store.load());
    ASSERT_TRUE(QFile::remove(blocker.fileName()));
    EXPECT_TRUE(store.save(goldenSnapshot()));
    EXPECT_TRUE(store.load());
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
