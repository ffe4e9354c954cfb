// Typed keys never reach a terminal the user cannot see: when the pane holding the keyboard is
// hidden by the maximized view or a workspace switch, or closed, the main window's Escape catcher
// takes the keyboard. Checked on the shells' side: a command typed then must run nowhere, while
// one typed after clicking into a pane runs there. A sheet that closes gives the keyboard back to
// the terminal it was taken from.
#include "AppQmlModules.h"
#include "support/AppScenario.h"

#include <QKeySequence>

namespace {

using brinmoor::test::SeedSession;

const QList<brinmoor::test::SeedWorkspace> kSeed{
    {"F0C05000-0000-4000-8000-000000000001", "One",
     {SeedSession{.id = "F0C05000-0000-4000-8000-0000000000A1", .project = "api", .sessionLabel = ""},
      SeedSession{.id = "F0C05000-0000-4000-8000-0000000000A2", .project = "docs", .sessionLabel = ""}}},
    {"F0C05000-0000-4000-8000-000000000002", "Two",
     {SeedSession{.id = "F0C05000-0000-4000-8000-0000000000B1", .project = "other", .sessionLabel = ""}}},
};

const QString kOne = QStringLiteral("F0C05000-0000-4000-8000-000000000001");
const QString kTwo = QStringLiteral("F0C05000-0000-4000-8000-000000000002");
const QString kApi = QStringLiteral("F0C05000-0000-4000-8000-0000000000A1");
const QString kDocs = QStringLiteral("F0C05000-0000-4000-8000-0000000000A2");
const QString kOther = QStringLiteral("F0C05000-0000-4000-8000-0000000000B1");

class AppFocus : public AppScenarioBase
{
protected:
    static void SetUpTestSuite() { setUpSandbox(kSeed, {"api", "docs", "other"}); }

    static QString project(const char* name) { return sandbox->path() + "/projects/" + name; }
    // The terminal view of a shown pane, once its shell runs.
    QQuickItem* terminalOf(const QString& name)
    {
        QQuickItem* view = nullptr;
        (void)QTest::qWaitFor([&] {
            QQuickItem* pane = paneNamed(name);
            auto* content = pane ? pane->property("content").value<QQuickItem*>() : nullptr;
            auto* surface = content ? content->property("surface").value<QQuickItem*>() : nullptr;
            view = surface && surface->property("shellPid").toInt() > 0 ? surface->property("view").value<QQuickItem*>() : nullptr;
            return view != nullptr;
        }, 5000);
        return view;
    }
    void type(const QString& line)
    {
        for (QChar ch : line)
            QTest::keyClick(window, ch.toLatin1());
        QTest::keyClick(window, Qt::Key_Return);
    }
    bool catcherHasKeys() const
    {
        QQuickItem* focus = window->activeFocusItem();
        return focus && QString::fromLatin1(focus->metaObject()->className()).startsWith("MainWindowView");
    }
    // Clicks into a pane's terminal and runs a command there; true once it has run.
    bool runIn(const char* name, const QString& marker)
    {
        QQuickItem* view = terminalOf(QString::fromLatin1(name));
        if (!view)
            return false;
        click(view);
        if (window->activeFocusItem() != view)
            return false;
        type("touch " + marker);
        return QTest::qWaitFor([&] { return QFile::exists(project(name) + "/" + marker); }, 5000);
    }
};

} // namespace

TEST_F(AppFocus, hidden_or_closed_terminals_get_no_keys_and_escape_reaches_the_catcher)
{
    QQmlApplicationEngine eng;
    start(eng);
    auto* model = brinmoor::AppModel::instance();
    ASSERT_NE(terminalOf("api"), nullptr);

    // Maximize "api" while "docs" holds the keyboard: "docs" is hidden, so what is typed goes nowhere
    // and Escape leaves the maximized view.
    ASSERT_TRUE(runIn("docs", "ready"));
    QQuickItem* maximize = nullptr;
    for (QQuickItem* b : items("maximizeButton"))
        if (paneNamed("api")->isAncestorOf(b))
            maximize = b;
    click(maximize);
    ASSERT_EQ(model->maximizedSessionIDText(), kApi);
    EXPECT_TRUE(catcherHasKeys());
    type("touch leak1");
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(model->maximizedSessionIDText(), "");

    // A workspace switch hides every pane of the first; Escape still reaches the catcher.
    ASSERT_TRUE(runIn("docs", "ready2"));
    model->selectWorkspace(kTwo);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paneNamed("other") != nullptr; }, 3000));
    EXPECT_TRUE(catcherHasKeys());
    type("touch leak2");
    model->toggleMaximize(kOther);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(model->maximizedSessionIDText(), "");

    // Closing the pane that holds the keyboard leaves it with the catcher too.
    ASSERT_TRUE(runIn("other", "ready"));
    model->selectWorkspace(kOne);
    ASSERT_TRUE(runIn("docs", "seen"));
    model->close(kDocs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paneNamed("docs") == nullptr; }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return catcherHasKeys(); }, 1000));
    type("touch leak3");
    model->toggleMaximize(kApi);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(model->maximizedSessionIDText(), "");

    // Commands typed afterwards into the panes ran; none of the stray ones ran anywhere.
    ASSERT_TRUE(runIn("api", "seen"));
    model->selectWorkspace(kTwo);
    ASSERT_TRUE(runIn("other", "seen"));
    for (const char* name : {"api", "docs", "other"})
        for (const char* leak : {"leak1", "leak2", "leak3"})
            EXPECT_FALSE(QFile::exists(project(name) + "/" + leak)) << name << "/" << leak;
}

// A sheet opened with Ctrl+Shift+T over a terminal whose program asked for focus reports (?1004h)
// and closed with Escape: the program reads CSI O, then CSI I once the keyboard is back, and the
// next typed command runs in that terminal. The same for the new-workspace sheet's Cancel.
TEST_F(AppFocus, a_closed_sheet_gives_the_keyboard_back_to_the_terminal_with_focus_reports)
{
    QQmlApplicationEngine eng;
    start(eng);
    auto* model = brinmoor::AppModel::instance();
    model->selectWorkspace(kOne);
    QFile script(project("api") + "/focus.sh");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    // The titles tell the test that the terminal has read the mode before the keyboard moves, and
    // that the line discipline is back to normal for the next command.
    script.write("printf '\\033[?1004h\\033]0;armed\\007'; stty raw -echo; head -c 6 > focus.log; stty sane;"
                 " printf '\\033[?1004l\\033]0;done\\007'\n");
    script.close();
    QQuickItem* view = terminalOf("api");
    ASSERT_NE(view, nullptr);
    click(view);
    ASSERT_EQ(window->activeFocusItem(), view);
    type("sh focus.sh");
    const auto reports = [&] {
        QFile log(project("api") + "/focus.log");
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return view->property("title").toString() == "armed" && QFile::exists(project("api") + "/focus.log");
    }, 5000));

    QTest::keyClick(window, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("addSessionSheet") != nullptr; }, 3000));
    EXPECT_NE(window->activeFocusItem(), view) << "the sheet has the keyboard";
    QTest::keyClick(window, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("addSessionSheet") == nullptr; }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->activeFocusItem() == view; }, 3000)) << "the terminal has the keyboard again";
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->property("title").toString() == "done"; }, 5000));
    EXPECT_EQ(reports(), QByteArray("\x1b[O\x1b[I"));

    // The next typed command runs there, without a click.
    type("touch after-sheet");
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(project("api") + "/after-sheet"); }, 5000));

    // The new-workspace sheet, closed with its Cancel button.
    QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("cancelButton") != nullptr; }, 3000));
    click(item("cancelButton"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->activeFocusItem() == view; }, 3000));
    type("touch after-cancel");
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(project("api") + "/after-cancel"); }, 5000));
}

// With a terminal holding the keyboard and a command half typed at its prompt, each sheet keeps
// every key: Tab and Shift+Tab (as Qt::Key_Tab with Shift and as Qt::Key_Backtab) stay among the
// sheet's own controls, typed text goes to the sheet or nowhere, Escape closes it, and Return does
// what the sheet's hint says (opens a terminal, creates a workspace). The shell is then asked for
// the rest of the line it holds: nothing the sheet was given is in it, and it never ran.
TEST_F(AppFocus, an_open_sheet_keeps_every_key_from_the_terminal_behind_it)
{
    QQmlApplicationEngine eng;
    start(eng);
    auto* model = brinmoor::AppModel::instance();
    struct Sheet {
        const char* name;
        Qt::Key shortcut;
        const char* itemName;
        const char* marker;
    };
    const Sheet sheets[] = {
        {"add session", Qt::Key_T, "addSessionSheet", "half-add"},
        {"new workspace", Qt::Key_N, "newWorkspaceSheet", "half-new"},
    };
    const auto keysStayIn = [&](QQuickItem* sheet) {
        QQuickItem* focus = window->activeFocusItem();
        return focus && (focus == sheet || sheet->isAncestorOf(focus));
    };
    const auto openSheet = [&](const Sheet& s) -> QQuickItem* {
        QTest::keyClick(window, s.shortcut, Qt::ControlModifier | Qt::ShiftModifier);
        QQuickItem* sheet = nullptr;
        (void)QTest::qWaitFor([&] { return (sheet = item(QString::fromLatin1(s.itemName))) != nullptr; }, 3000);
        return sheet;
    };
    for (const Sheet& s : sheets) {
        SCOPED_TRACE(s.name);
        const QString marker = QString::fromLatin1(s.marker);
        model->selectWorkspace(kOne);
        QQuickItem* view = terminalOf("api");
        ASSERT_NE(view, nullptr);
        click(view);
        ASSERT_EQ(window->activeFocusItem(), view);
        for (QChar ch : "touch " + marker)
            QTest::keyClick(window, ch.toLatin1());

        QQuickItem* sheet = openSheet(s);
        ASSERT_NE(sheet, nullptr);
        const std::pair<Qt::Key, Qt::KeyboardModifiers> tabs[] = {
            {Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier},
            {Qt::Key_Tab, Qt::ShiftModifier}, {Qt::Key_Backtab, Qt::ShiftModifier},
            {Qt::Key_Backtab, Qt::ShiftModifier}, {Qt::Key_Tab, Qt::NoModifier}};
        for (const auto& [key, modifiers] : tabs) {
            QTest::keyClick(window, key, modifiers);
            EXPECT_TRUE(keysStayIn(sheet)) << "after " << QKeySequence(key | modifiers).toString().toStdString()
                                           << " the keyboard is with "
                                           << (window->activeFocusItem() ? window->activeFocusItem()->metaObject()->className() : "nothing");
        }
        for (QChar ch : QStringLiteral("x-leak"))
            QTest::keyClick(window, ch.toLatin1());
        EXPECT_TRUE(keysStayIn(sheet));
        QTest::keyClick(window, Qt::Key_Escape);
        ASSERT_TRUE(QTest::qWaitFor([&] { return item(QString::fromLatin1(s.itemName)) == nullptr; }, 3000))
            << "Escape closes the sheet";
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->activeFocusItem() == view; }, 3000));

        // Return in the sheet does the sheet's own thing.
        const auto workspaces = model->workspaces().size();
        const int panes = model->selectedSessions()->rowCount();
        // The add-session sheet opens its terminal in a recent folder that it preselects.
        model->rememberRecent(project("other"));
        sheet = openSheet(s);
        ASSERT_NE(sheet, nullptr);
        if (QQuickItem* terminalChip = item("terminalChip"))
            click(terminalChip);
        QTest::keyClick(window, Qt::Key_Tab);
        QTest::keyClick(window, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return item(QString::fromLatin1(s.itemName)) == nullptr; }, 3000))
            << "Return does what the hint says";
        if (s.shortcut == Qt::Key_N)
            EXPECT_EQ(model->workspaces().size(), workspaces + 1);
        else
            EXPECT_EQ(model->selectedSessions()->rowCount(), panes + 1);

        // The shell still holds exactly the half-typed line: finished here, it makes one file.
        model->selectWorkspace(kOne);
        view = terminalOf("api");
        ASSERT_NE(view, nullptr);
        click(view);
        ASSERT_EQ(window->activeFocusItem(), view);
        type("-done");
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(project("api") + "/" + marker + "-done"); }, 5000))
            << "the shell's line was changed by the sheet's keys";
        const QStringList made = QDir(project("api")).entryList({marker + "*"}, QDir::Files);
        EXPECT_EQ(made, QStringList{marker + "-done"});
    }
}
