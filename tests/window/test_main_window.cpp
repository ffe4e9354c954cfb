// The main window: the Escape chain, the launch task, the rail's operations reaching state.json,
// the top bar and the layout picker, full screen, and (with BRINMOOR_SHOTS=<folder>) pictures
// of the window in its main states.
#include "AppModel.h"
#include "ChatHost.h"
#include "EscapeChain.h"
#include "LaunchTask.h"
#include "TerminalHost.h"
#include "WindowChrome.h"
#include "support/QtTestSupport.h"
#include "support/SeedState.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_SheetsPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)

using namespace brinmoor;

namespace {

const char* kWorkspaceA = "11111111-2222-4333-8444-555555555555";
const char* kWorkspaceB = "AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE";
const char* kWorkspaceC = "CCCCCCCC-BBBB-4CCC-8DDD-EEEEEEEEEEEE";
const char* kTerminal1 = "0B0C7A52-6F1E-4A43-9C1D-2F8E6A7B9C01";
const char* kChat1 = "D3A1E5F0-1234-4BCD-8EF0-AABBCCDDEEFF";
const char* kChat2 = "D3A1E5F0-1234-4BCD-8EF0-AABBCCDDEE00";

// Three workspaces: "Web app" with three sessions (selected), "my  api" with one, "Empty".
QByteArray seededState()
{
    using test::SeedSession;
    return test::seedState(
        {{kWorkspaceA, "Web app",
          {SeedSession{.id = kTerminal1, .project = "frontend"}, SeedSession{.id = kChat1, .kind = "chat", .project = "backend"},
           SeedSession{.id = kChat2, .kind = "chat", .project = "docs", .provider = "codex"}},
          "5b8cee", true},
         {kWorkspaceB, "my  api", {SeedSession{.id = "0B0C7A52-6F1E-4A43-9C1D-2F8E6A7B9C02", .kind = "chat", .project = "server"}}, "c98a3a", true},
         {kWorkspaceC, "Empty", {}, "4aa37e", true}},
        QStringLiteral("/tmp"));
}

// HOME and the XDG folders in one temporary folder; one application object for the process.
class WindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<QTemporaryDir>();
        brinmoor::test::useSandboxHome(m_home->path());
        if (qgetenv("QT_QPA_PLATFORM").isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // The login shell of this run answers the tool probes like a signed-in Codex would (after
        // the probe's mark, as a real shell running the probe prints it) and logs them; anything else (a terminal pane's shell) is a plain /bin/sh.
        const QString shell = m_home->path() + "/fake-shell";
        QFile script(shell);
        if (script.open(QIODevice::WriteOnly)) {
            script.write(R"(#!/bin/sh
if [ "$1" = "-lic" ]; then
  echo "$2" >> "$FAKE_SHELL_LOG"
  case "$2" in
    *"command -v codex"*)
      if [ -n "$FAKE_CODEX_SIGNED_OUT" ]; then status="Not logged in"; else status="Logged in using ChatGPT"; fi
      echo "$BRINMOOR_PROBE_MARK"
      printf '/opt/codex/bin/codex\\ncodex-cli 0.9.1\\n%s\\n' "$status" ;;
  esac
  exit 0
fi
exec /bin/sh "$@"
)");
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("SHELL", shell.toUtf8());
        qputenv("FAKE_SHELL_LOG", (m_home->path() + "/shell.log").toUtf8());
        static int argc = 1;
        static char name[] = "brinmoor-window-tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
        QQuickStyle::setStyle(QStringLiteral("Basic"));
    }
    void TearDown() override
    {
        m_app.reset();
        m_home.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QGuiApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

using brinmoor::test::waitUntil;

// A model on a fresh data folder seeded with the state above, and the main window over it.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_data.isValid());
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
        QDir().mkpath(m_data.path() + "/Brinmoor");
        QFile state(statePath());
        ASSERT_TRUE(state.open(QIODevice::WriteOnly));
        state.write(seededState());
        state.close();
        m_settings = std::make_unique<QSettings>(m_data.path() + "/defaults.ini", QSettings::IniFormat);
        m_model = std::make_unique<AppModel>(Store(false), m_settings.get());
        AppModel::setInstance(m_model.get());
        ASSERT_EQ(m_model->workspaces().size(), 3);
    }
    void TearDown() override
    {
        m_root.reset();
        m_engine.reset();
        AppModel::setInstance(nullptr);
        m_model.reset();
    }

    QString statePath() const { return m_data.path() + "/Brinmoor/state.json"; }
    QJsonObject savedState() const
    {
        QFile f(statePath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }

    // Loads the window with the main view filling it.
    void showWindow(int width = 1240, int height = 780)
    {
        m_engine = std::make_unique<QQmlEngine>();
        m_engine->addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(m_engine.get());
        const QByteArray scene = QByteArrayLiteral(R"(
import QtQuick
import Brinmoor.App
import Brinmoor.Window
Window {
    width: )") + QByteArray::number(width) + QByteArrayLiteral(R"(
    height: )") + QByteArray::number(height) + QByteArrayLiteral(R"(
    visible: true
    flags: Qt.Window | Qt.FramelessWindowHint
    color: Theme.pair("0e0f13", "e7e9ee", 1)
    // What the root view does for the whole window: resolve the theme preference.
    Binding {
        target: Theme
        property: "dark"
        value: ThemeSupport.resolveDark(AppModel.themePreference, ThemeSupport.systemDark)
    }
    MainWindowView {
        objectName: "mainWindow"
        anchors.fill: parent
    }
}
)");
        component.setData(scene, QUrl(QStringLiteral("qrc:/test/MainWindowScene.qml")));
        m_root.reset(component.create());
        ASSERT_TRUE(m_root) << component.errorString().toStdString();
        m_window = qobject_cast<QQuickWindow*>(m_root.get());
        ASSERT_NE(m_window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window));
        m_main = m_window->findChild<QQuickItem*>(QStringLiteral("mainWindow"));
        ASSERT_NE(m_main, nullptr);
        settle();
    }
    void settle(int ms = 30)
    {
        QTest::qWait(ms);
        QCoreApplication::processEvents();
    }
    // Items by name through the visual tree (delegates and popup contents included, which
    // QObject::findChild does not reach).
    static void collect(QQuickItem* root, const QString& name, QList<QQuickItem*>& out)
    {
        if (!root)
            return;
        if (root->objectName() == name)
            out.append(root);
        for (QQuickItem* child : root->childItems())
            collect(child, name, out);
    }
    QQuickItem* item(const QString& name) const
    {
        QList<QQuickItem*> found;
        if (m_window)
            collect(m_window->contentItem(), name, found);
        return found.isEmpty() ? nullptr : found.first();
    }
    // The first visible item of that name below `under` (the whole window when null).
    QQuickItem* visibleItem(const QString& name, QQuickItem* under = nullptr) const
    {
        QList<QQuickItem*> found;
        collect(under ? under : m_window->contentItem(), name, found);
        for (QQuickItem* i : found)
            if (i->isVisible())
                return i;
        return nullptr;
    }
    QPoint centre(QQuickItem* i) const
    {
        return i->mapToScene(QPointF(i->width() / 2, i->height() / 2)).toPoint();
    }
    void click(QQuickItem* i, Qt::MouseButton button = Qt::LeftButton)
    {
        ASSERT_NE(i, nullptr);
        QTest::mouseClick(m_window, button, Qt::NoModifier, centre(i));
        settle();
    }
    // A text field in the main view holding the keyboard, as the composer holds it after typing.
    std::unique_ptr<QObject> focusedTextField()
    {
        QQmlComponent component(m_engine.get());
        component.setData("import QtQuick\nTextInput { width: 100; height: 20; text: \"typing\" }",
                          QUrl(QStringLiteral("qrc:/test/Field.qml")));
        std::unique_ptr<QObject> object(component.create());
        if (auto* field = qobject_cast<QQuickItem*>(object.get())) {
            field->setParentItem(m_main);
            field->forceActiveFocus();
            settle();
        }
        return object;
    }
    // An object made from `qml` in the window's engine, as a fake for the view to bind to; null,
    // with the reason in `error`, when it does not load.
    std::unique_ptr<QObject> fromQml(const char* qml, const QString& url, QString& error)
    {
        QQmlComponent component(m_engine.get());
        component.setData(qml, QUrl(url));
        std::unique_ptr<QObject> object(component.create());
        if (!object)
            error = component.errorString();
        return object;
    }
    // A property of the ToolTip attached to `i` ("text", "delay", or "toolTip" for the popup),
    // read in the scope of the file that declares `i`.
    static QVariant toolTipOf(QQuickItem* i, const char* property)
    {
        QQmlExpression e(qmlContext(i), i, QStringLiteral("ToolTip.") + QLatin1String(property));
        return e.evaluate();
    }
    void escape()
    {
        QTest::keyClick(m_window, Qt::Key_Escape);
        settle();
    }
    void shot(const QString& name)
    {
        const QString dir = qEnvironmentVariable("BRINMOOR_SHOTS");
        if (dir.isEmpty())
            return;
        settle(350);  // theme and pulse animations
        QDir().mkpath(dir);
        m_window->grabWindow().save(dir + "/" + name + ".png");
    }
    QString text(const QString& name) const
    {
        QQuickItem* i = item(name);
        return i ? i->property("text").toString() : QString();
    }

    QTemporaryDir m_data;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QObject> m_root;
    QQuickWindow* m_window = nullptr;
    QQuickItem* m_main = nullptr;
};

CodePreview codePreview()
{
    CodePreview p;
    p.title = QStringLiteral("main.cpp");
    p.content = QStringLiteral("int main() {}");
    return p;
}

MarkdownDoc markdownDoc()
{
    MarkdownDoc d;
    d.fileName = QStringLiteral("README.md");
    d.markdown = QStringLiteral("# Hello");
    return d;
}

} // namespace

// --- The Escape chain, on the model alone ---

TEST_F(MainWindowTest, escape_closes_code_then_markdown_then_sheet_then_maximize)
{
    m_model->setMaximizedSessionID(QUuid(QString(kTerminal1)));
    m_model->setActiveSheet(ActiveSheet::AddSession);
    m_model->setMarkdownPreview(markdownDoc());
    m_model->setCodePreview(codePreview());
    using C = EscapeChain::Closed;
    EXPECT_EQ(EscapeChain::handleEscape(*m_model), C::CodePreview);
    EXPECT_TRUE(m_model->markdownPreview().has_value());
    EXPECT_EQ(EscapeChain::handleEscape(*m_model), C::MarkdownPreview);
    EXPECT_TRUE(m_model->activeSheet().has_value());
    EXPECT_EQ(EscapeChain::handleEscape(*m_model), C::Sheet);
    EXPECT_TRUE(m_model->maximizedSessionID().has_value());
    EXPECT_EQ(EscapeChain::handleEscape(*m_model), C::Maximized);
    EXPECT_EQ(EscapeChain::handleEscape(*m_model), C::None);
    EXPECT_FALSE(m_model->maximizedSessionID().has_value());
}

// --- The launch task, with fake services ---

TEST(LaunchTaskOrder, starts_usage_then_updater_then_detects_codex_only_when_unknown)
{
    QStringList calls;
    bool known = false;
    const LaunchServices fakes{
        [&] { calls << "usage"; },
        [&] { calls << "updater"; },
        [&] { calls << "codexKnown?"; return known; },
        [&] { calls << "detectCodex"; },
    };
    LaunchTask::run(fakes);
    EXPECT_EQ(calls, (QStringList{"usage", "updater", "codexKnown?", "detectCodex"}));

    calls.clear();
    known = true;
    LaunchTask::run(fakes);
    EXPECT_EQ(calls, (QStringList{"usage", "updater", "codexKnown?"}));

    // Missing services are skipped, never called.
    LaunchTask::run(LaunchServices{});
}

// --- The window ---

TEST_F(MainWindowTest, escape_typed_into_the_window_closes_one_layer_per_press)
{
    showWindow();
    m_model->setMaximizedSessionID(QUuid(QString(kTerminal1)));
    m_model->setMarkdownPreview(markdownDoc());
    m_model->setCodePreview(codePreview());
    settle();
    ASSERT_NE(visibleItem("card"), nullptr);
    ASSERT_NE(visibleItem("panel"), nullptr);
    shot("previews");

    escape();
    EXPECT_FALSE(m_model->codePreview().has_value());
    EXPECT_TRUE(m_model->markdownPreview().has_value());
    escape();
    EXPECT_FALSE(m_model->markdownPreview().has_value());
    EXPECT_TRUE(m_model->maximizedSessionID().has_value());
    escape();
    EXPECT_FALSE(m_model->maximizedSessionID().has_value());
    escape();  // nothing open: nothing changes
    EXPECT_FALSE(m_model->activeSheet().has_value());

    // A sheet over a maximized pane: the sheet goes first.
    m_model->setMaximizedSessionID(QUuid(QString(kTerminal1)));
    m_model->setActiveSheet(ActiveSheet::NewWorkspace);
    settle();
    shot("sheet");
    // Focus back on the window's catcher (the sheet may have focused its own field).
    QMetaObject::invokeMethod(m_main, "forceActiveFocus");
    escape();
    EXPECT_FALSE(m_model->activeSheet().has_value());
    EXPECT_TRUE(m_model->maximizedSessionID().has_value());

    // Return is passed on: it changes nothing.
    QTest::keyClick(m_window, Qt::Key_Return);
    settle();
    EXPECT_TRUE(m_model->maximizedSessionID().has_value());
}

TEST_F(MainWindowTest, escape_closes_a_preview_whose_text_was_clicked)
{
    showWindow();
    m_model->setCodePreview(codePreview());
    settle();
    // A click into the preview's read-only text gives it the focus; Escape still closes.
    QQuickItem* text = visibleItem("plain");
    ASSERT_NE(text, nullptr);
    QTest::mouseClick(m_window, Qt::LeftButton, {}, text->mapToScene(QPointF(20, 8)).toPoint());
    settle();
    ASSERT_EQ(m_window->activeFocusItem(), text);
    escape();
    EXPECT_FALSE(m_model->codePreview().has_value());
}

TEST_F(MainWindowTest, previews_take_the_keyboard_from_an_editor_and_give_it_back)
{
    showWindow();
    // An editor with the keyboard, as the composer has it after typing.
    std::unique_ptr<QObject> fieldObject = focusedTextField();
    auto* field = qobject_cast<QQuickItem*>(fieldObject.get());
    ASSERT_EQ(m_window->activeFocusItem(), field);

    m_model->setMarkdownPreview(markdownDoc());
    m_model->setCodePreview(codePreview());
    settle();
    QTest::keyClick(m_window, Qt::Key_X);
    EXPECT_EQ(field->property("text").toString(), QStringLiteral("typing")) << "nothing typed reaches the hidden editor";
    // One Escape, one layer; the editor gets the keyboard back once both are gone.
    escape();
    EXPECT_FALSE(m_model->codePreview().has_value());
    EXPECT_TRUE(m_model->markdownPreview().has_value());
    EXPECT_NE(m_window->activeFocusItem(), field);
    escape();
    EXPECT_FALSE(m_model->markdownPreview().has_value());
    EXPECT_EQ(m_window->activeFocusItem(), field);

    // An editor that went away meanwhile: the window's catcher takes the keyboard.
    m_model->setCodePreview(codePreview());
    settle();
    fieldObject.reset();
    escape();
    EXPECT_FALSE(m_model->codePreview().has_value());
    EXPECT_EQ(m_window->activeFocusItem(), m_main);
}

TEST_F(MainWindowTest, a_focused_text_field_keeps_its_escape)
{
    showWindow();
    m_model->setMaximizedSessionID(QUuid(QString(kTerminal1)));
    std::unique_ptr<QObject> fieldObject = focusedTextField();
    auto* field = qobject_cast<QQuickItem*>(fieldObject.get());
    ASSERT_EQ(m_window->activeFocusItem(), field);
    escape();
    EXPECT_TRUE(m_model->maximizedSessionID().has_value());

    // A read-only text (a preview's body) does not keep it.
    field->setProperty("readOnly", true);
    escape();
    EXPECT_FALSE(m_model->maximizedSessionID().has_value());
    m_model->setMaximizedSessionID(QUuid(QString(kTerminal1)));

    // Once the field lets go of the keyboard, Escape reaches the chain again.
    fieldObject.reset();
    settle(50);
    escape();
    EXPECT_FALSE(m_model->maximizedSessionID().has_value());
}

TEST_F(MainWindowTest, backdrop_tap_closes_the_sheet_and_empty_states_follow_the_selection)
{
    showWindow();
    shot("window-expanded");
    // Panes, no empty state, while the selected workspace has sessions.
    EXPECT_EQ(visibleItem("noWorkspaces"), nullptr);
    EXPECT_EQ(visibleItem("noSessions"), nullptr);

    m_model->setActiveSheet(ActiveSheet::AddSession);
    settle();
    QQuickItem* backdrop = item("sheetBackdrop");
    ASSERT_NE(backdrop, nullptr);
    ASSERT_TRUE(backdrop->isVisible());
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, QPoint(20, m_window->height() - 20));
    settle();
    EXPECT_FALSE(m_model->activeSheet().has_value());

    // A workspace without sessions.
    m_model->selectWorkspace(QUuid(QString(kWorkspaceC)));
    settle();
    QQuickItem* noSessions = visibleItem("noSessions");
    ASSERT_NE(noSessions, nullptr);
    EXPECT_EQ(visibleItem("attentionStrip") ? visibleItem("attentionStrip")->height() : 0.0, 0.0);
    shot("empty-no-sessions");
    click(visibleItem("emptyButton", noSessions));
    EXPECT_EQ(m_model->activeSheet(), std::optional<ActiveSheet>(ActiveSheet::AddSession));
    m_model->setActiveSheet(std::nullopt);

    // No workspace selected, though workspaces exist.
    while (!m_model->workspaces().isEmpty())
        m_model->deleteWorkspace(m_model->workspaces().first().id);
    settle();
    QQuickItem* noWorkspaces = visibleItem("noWorkspaces");
    ASSERT_NE(noWorkspaces, nullptr);
    EXPECT_EQ(text("workspaceName"), QStringLiteral("No workspace"));
    shot("empty-no-workspaces");
    click(visibleItem("emptyButton", noWorkspaces));
    EXPECT_EQ(m_model->activeSheet(), std::optional<ActiveSheet>(ActiveSheet::NewWorkspace));
}

// Every item a press, a release or a wheel turn was delivered to while it watches.
class PointerDeliveries : public QObject {
public:
    PointerDeliveries() { qApp->installEventFilter(this); }
    ~PointerDeliveries() override { qApp->removeEventFilter(this); }
    QList<QPointer<QQuickItem>> items;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            if (auto* item = qobject_cast<QQuickItem*>(watched))
                items << item;
            break;
        default:
            break;
        }
        return false;
    }
};

// While a sheet, a preview or a dialog is open, nothing under it takes a button, the wheel or the
// keyboard: a middle click on the terminal pane behind the New Workspace sheet pasted into the
// shell and took the keyboard from the sheet's field. The middle and right buttons and the wheel
// over a live terminal pane behind each layer (and inside a sheet, where its controls leave
// them) reach no item of the main column, move no focus and close nothing; a left click on the
// backdrop then closes the layer as before. Control: with no layer open, the same middle click
// reaches the pane.
TEST_F(MainWindowTest, an_open_layer_lets_no_button_or_wheel_through_to_the_panes)
{
    // Wide enough that a side of the pane lies beside the widest card (the code preview's).
    showWindow(1800, 900);
    QQuickItem* cell = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (cell = visibleItem(QStringLiteral("gridCell:") + kTerminal1)) != nullptr; }));
    QQuickItem* column = item(QStringLiteral("mainColumn"));
    ASSERT_NE(column, nullptr);
    const QRectF pane(cell->mapToScene(QPointF(0, 0)), cell->size());
    // The pane's side away from the window's middle, where no card covers it.
    const bool right = pane.center().x() > m_window->width() / 2.0;
    const QPoint behind = QPointF(right ? pane.right() - 40 : pane.left() + 40, pane.center().y()).toPoint();
    const auto inColumn = [&](QQuickItem* i) {
        for (; i; i = i->parentItem())
            if (i == column)
                return true;
        return false;
    };
    // The items of the main column the events reached, named.
    const auto reached = [&](const PointerDeliveries& spy) {
        QStringList out;
        for (const QPointer<QQuickItem>& i : spy.items)
            if (i && inColumn(i))
                out << QString::fromLatin1(i->metaObject()->className()) + "/" + i->objectName();
        out.removeDuplicates();
        return out.join(", ").toStdString();
    };
    const auto wheel = [&](QPoint at) {
        QWheelEvent event(at, m_window->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(m_window, &event);
        settle();
    };
    {
        PointerDeliveries spy;
        QTest::mouseClick(m_window, Qt::MiddleButton, Qt::NoModifier, behind);
        settle();
        ASSERT_NE(reached(spy), "") << "the point lies on no pane";
    }

    // The rename dialog of the terminal pane's menu.
    const auto paneRenameDialog = [&] {
        QQuickItem* menu = visibleItem(QStringLiteral("overflowMenu"), cell);
        return menu ? menu->property("renameDialog").value<QObject*>() : nullptr;
    };
    ASSERT_NE(paneRenameDialog(), nullptr);
    const struct {
        const char* what;
        std::function<void()> open;
        std::function<bool()> isOpen;
        bool backdropCloses;
        const char* inside;  // an item whose empty corner a press inside the layer lands on, or none
        const char* under;   // where that item is
    } layers[] = {
        {"the add-session sheet", [&] { m_model->setActiveSheet(ActiveSheet::AddSession); },
         [&] { return m_model->activeSheet().has_value(); }, true, "sheetLoader", "mainWindow"},
        {"the new-workspace sheet", [&] { m_model->setActiveSheet(ActiveSheet::NewWorkspace); },
         [&] { return m_model->activeSheet().has_value(); }, true, "sheetLoader", "mainWindow"},
        {"the markdown preview", [&] { m_model->setMarkdownPreview(markdownDoc()); },
         [&] { return m_model->markdownPreview().has_value(); }, true, "panel", "markdownPreviewView"},
        {"the code preview", [&] { m_model->setCodePreview(codePreview()); }, [&] { return m_model->codePreview().has_value(); },
         true, "card", "codePreviewView"},
        {"the rename dialog", [&] { QMetaObject::invokeMethod(m_window->findChild<QObject*>("renameWorkspaceDialog"), "open"); },
         [&] { return m_window->findChild<QObject*>("renameWorkspaceDialog")->property("opened").toBool(); }, false, nullptr, nullptr},
        {"a pane's rename dialog", [&] { QMetaObject::invokeMethod(paneRenameDialog(), "open"); },
         [&] { return paneRenameDialog()->property("opened").toBool(); }, false, nullptr, nullptr},
        {"the folder chooser over the add-session sheet",
         [&] {
             m_model->setActiveSheet(ActiveSheet::AddSession);
             QObject* chooser = nullptr;
             if (waitUntil([&] { return (chooser = m_window->findChild<QObject*>("folderChooser")) != nullptr; }))
                 QMetaObject::invokeMethod(chooser, "open");
         },
         [&] {
             QObject* chooser = m_window->findChild<QObject*>("folderChooser");
             return chooser && chooser->property("opened").toBool();
         },
         false, nullptr, nullptr},
    };
    for (const auto& layer : layers) {
        SCOPED_TRACE(layer.what);
        layer.open();
        ASSERT_TRUE(waitUntil([&] { return layer.isOpen(); }));
        settle(100);
        QQuickItem* focused = m_window->activeFocusItem();
        ASSERT_FALSE(inColumn(focused));
        QList<QPoint> points{behind};
        if (layer.inside) {
            QQuickItem* in = visibleItem(QString::fromLatin1(layer.inside), item(QString::fromLatin1(layer.under)));
            ASSERT_NE(in, nullptr);
            points << in->mapToScene(QPointF(6, in->height() - 6)).toPoint();
        }
        // Each of the middle button, the right button and the wheel, at each point, the layer
        // opened again where Qt's own rule closed a dialog on a press outside it.
        for (const QPoint at : points) {
            for (const int kind : {0, 1, 2}) {
                SCOPED_TRACE(kind == 0 ? "middle button" : kind == 1 ? "right button" : "wheel");
                if (!layer.isOpen()) {
                    layer.open();
                    ASSERT_TRUE(waitUntil([&] { return layer.isOpen(); }));
                    settle(100);
                    focused = m_window->activeFocusItem();
                }
                PointerDeliveries spy;
                if (kind == 2)
                    wheel(at);
                else
                    QTest::mouseClick(m_window, kind == 0 ? Qt::MiddleButton : Qt::RightButton, Qt::NoModifier, at);
                settle();
                EXPECT_EQ(reached(spy), "") << "at " << at.x() << "," << at.y();
                if (layer.isOpen()) {
                    EXPECT_EQ(m_window->activeFocusItem(), focused);
                }
                // A sheet or a preview stays for anything but a left click on its backdrop.
                if (layer.backdropCloses) {
                    EXPECT_TRUE(layer.isOpen());
                }
            }
        }
        if (layer.backdropCloses) {
            QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, behind);
            settle();
            EXPECT_FALSE(layer.isOpen());
        } else if (layer.isOpen()) {
            escape();
        }
        EXPECT_TRUE(waitUntil([&] { return !layer.isOpen(); }));
        m_model->setActiveSheet(std::nullopt);
        settle();
    }
}

TEST_F(MainWindowTest, top_bar_title_subtitle_picker_codex_button_and_theme_toggle)
{
    // Codex is found but not signed in: no Codex usage button.
    qputenv("FAKE_CODEX_SIGNED_OUT", "1");
    showWindow();
    ASSERT_TRUE(waitUntil([&] { return m_model->codex().has_value(); }, 20000));
    qunsetenv("FAKE_CODEX_SIGNED_OUT");
    EXPECT_FALSE(m_model->codex()->authed);
    settle();
    EXPECT_EQ(text("workspaceName"), QStringLiteral("Web app"));
    EXPECT_EQ(text("sessionSubtitle"), QStringLiteral("· 3 sessions"));
    ChatHost::shared().reportState(QUuid(QString(kChat1)), PaneState::Awaiting);
    settle();
    EXPECT_EQ(text("sessionSubtitle"), QStringLiteral("· 3 sessions · 1 needs you"));

    // The picker needs two sessions; the Codex button a signed-in Codex.
    EXPECT_NE(visibleItem("layoutPicker"), nullptr);
    EXPECT_EQ(visibleItem("codexUsageButton"), nullptr);
    m_model->selectWorkspace(QUuid(QString(kWorkspaceB)));
    settle();
    EXPECT_EQ(text("sessionSubtitle"), QStringLiteral("· 1 session"));
    EXPECT_EQ(visibleItem("layoutPicker"), nullptr);

    // The theme toggle never sends "system": from system it goes to dark.
    m_model->setThemePreference(ThemePreference::System);
    click(item("themeToggle"));
    EXPECT_EQ(m_model->themePreference(), ThemePreference::Dark);
    click(item("themeToggle"));
    EXPECT_EQ(m_model->themePreference(), ThemePreference::Light);
    shot("window-light");
    click(item("themeToggle"));
    EXPECT_EQ(m_model->themePreference(), ThemePreference::Dark);

    // The add button: add-session with a workspace selected.
    click(item("addButton"));
    EXPECT_EQ(m_model->activeSheet(), std::optional<ActiveSheet>(ActiveSheet::AddSession));
    m_model->setActiveSheet(std::nullopt);

    // The usage warning follows the metrics it is given.
    QQuickItem* bar = item("topBar");
    ASSERT_NE(bar, nullptr);
    QQuickItem* tag = item("usageWarningTag");
    ASSERT_NE(tag, nullptr);
    EXPECT_FALSE(tag->isVisible());
    QVariantList metrics{QVariantMap{{"percent", 89.9}}, QVariantMap{{"percent", 50.0}}};
    bar->setProperty("metrics", metrics);
    settle();
    EXPECT_FALSE(tag->isVisible());
    metrics = {QVariantMap{{"percent", 92.0}}, QVariantMap{{"percent", 99.5}, {"resetsLabel", "Resets in 2h 5m"}}};
    bar->setProperty("metrics", metrics);
    settle();
    EXPECT_TRUE(tag->isVisible());
    EXPECT_EQ(text("usageWarningText"), QStringLiteral("Claude limit 100%"));
    EXPECT_EQ(text("usageWarningReset"), QStringLiteral("· reset in 2h 5m"));
    m_model->selectWorkspace(QUuid(QString(kWorkspaceA)));
    settle();
    shot("window-usage-warning");
}

TEST_F(MainWindowTest, update_pill_says_why_a_refused_page_does_not_open)
{
    showWindow();
    QString error;
    std::unique_ptr<QObject> updater = fromQml(R"(
import QtQml
QtObject {
    property bool available: true
    property bool downloading: false
    property bool ready: false
    property bool installable: false
    property string latestVersion: "1.4.0"
    property string pageProblem: "The download page can't be opened: its address is plain http to example.com, not https."
    property string failure: ""
    property int tries: 0
    function openPage() { tries += 1; return false }
    function install() { tries += 1; return false }
}
)", QStringLiteral("qrc:/test/RefusingUpdater.qml"), error);
    ASSERT_TRUE(updater) << error.toStdString();
    QQuickItem* bar = item("topBar");
    QSignalSpy frames(m_window, &QQuickWindow::frameSwapped);
    bar->setProperty("updater", QVariant::fromValue(updater.get()));
    QQuickItem* pill = item("updatePill");
    // Shown and placed in its row, which happens before the next frame.
    ASSERT_TRUE(QTest::qWaitFor([&] { return pill->isVisible() && !frames.isEmpty(); }));
    // The tooltip of the pill, read in its own file's scope.
    const auto tooltip = [&](const char* property) { return toolTipOf(pill, property); };
    const QString why = updater->property("pageProblem").toString();
    EXPECT_EQ(tooltip("text").toString(), QStringLiteral("Version 1.4.0 available\n") + why);
    // A refused release: the pill says so, and its tooltip why.
    const QString failure = QStringLiteral("Brinmoor 1.4.0 was not installed: its program does not start. This version was kept.");
    updater->setProperty("failure", failure);
    EXPECT_EQ(text("updatePillText"), QStringLiteral("Update Failed"));
    EXPECT_EQ(tooltip("text").toString(), failure + QLatin1Char('\n') + why);
    shot("update-pill-failed");
    updater->setProperty("failure", QString());

    // A click opens nothing: the reason shows at once, without the hover's delay.
    click(pill);
    EXPECT_EQ(updater->property("tries").toInt(), 1);
    EXPECT_EQ(tooltip("delay").toInt(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tooltip("toolTip").value<QObject*>()->property("opened").toBool(); }));
    shot("update-pill-refused-page");

    // Ready but not installable here: a click would open the page, so the reason stays; where the
    // update installs itself, the page does not matter.
    updater->setProperty("ready", true);
    EXPECT_TRUE(tooltip("text").toString().endsWith(why));
    click(pill);
    EXPECT_EQ(updater->property("tries").toInt(), 2);
    updater->setProperty("installable", true);
    EXPECT_EQ(tooltip("text").toString(), QStringLiteral("Brinmoor 1.4.0 downloaded — click to install (app restarts)"));
    bar->setProperty("updater", QVariant::fromValue<QObject*>(nullptr));
}

// A copy that cannot replace itself (a folder the user may not write) downloads nothing: the pill
// says an update is available and what a click does, its tooltip why it cannot install in place,
// and every click acts: it opens the page, or, without one, shows at once why it cannot.
// Tool tips name workspaces, panes and the app's folder: whatever they hold reads as text, never
// as markup (a workspace named "<h1>big" drew a heading in its tool tip).
TEST_F(MainWindowTest, tool_tips_draw_their_text_as_plain_text)
{
    showWindow();
    auto* tip = toolTipOf(item("topBar"), "toolTip").value<QObject*>();
    ASSERT_TRUE(tip);
    auto* content = tip->property("contentItem").value<QObject*>();
    ASSERT_TRUE(content);
    EXPECT_EQ(content->property("textFormat").toInt(), int(Qt::PlainText));
}

TEST_F(MainWindowTest, update_pill_where_the_app_cannot_replace_itself_offers_the_page_and_says_why)
{
    showWindow();
    QString error;
    std::unique_ptr<QObject> updater = fromQml(R"(
import QtQml
QtObject {
    property bool available: true
    property bool downloading: false
    property bool ready: false
    property bool installable: false
    property string installProblem: "Brinmoor can't replace itself: /opt/Brinmoor.app is not writable."
    property string latestVersion: "1.4.0"
    property url pageURL: ""
    property string pageProblem: ""
    property string failure: ""
    property int opens: 0
    function openPage() { if (pageURL.toString() === "") return false; opens += 1; return true }
    function install() { return openPage() }
}
)", QStringLiteral("qrc:/test/ByHandUpdater.qml"), error);
    ASSERT_TRUE(updater) << error.toStdString();
    QQuickItem* bar = item("topBar");
    bar->setProperty("updater", QVariant::fromValue(updater.get()));
    QQuickItem* pill = item("updatePill");
    ASSERT_TRUE(QTest::qWaitFor([&] { return pill->isVisible(); }));
    const auto tooltip = [&](const char* property) { return toolTipOf(pill, property); };
    const QString head = QStringLiteral("Version 1.4.0 available. Brinmoor can't replace itself: /opt/Brinmoor.app is not writable.\n");
    const struct {
        const char* page;
        QString label, help;
        int opens;
    } cases[] = {
        {"https://example.com/download", QStringLiteral("Get Update"), head + QStringLiteral("Click to open the download page."), 1},
        {"", QStringLiteral("Update Available"), head + QStringLiteral("The update service names no download page to open."), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        updater->setProperty("opens", 0);
        updater->setProperty("pageURL", QUrl(QString::fromLatin1(c.page)));
        settle();
        EXPECT_EQ(text("updatePillText"), c.label);
        EXPECT_EQ(tooltip("text").toString(), c.help);
        EXPECT_TRUE(item("updatePillMouse")->property("enabled").toBool());
        shot(c.opens ? "update-pill-by-hand" : "update-pill-by-hand-no-page");
        click(pill);
        EXPECT_EQ(updater->property("opens").toInt(), c.opens);
        if (!c.opens) {  // nothing to open: the reason shows at once
            EXPECT_TRUE(QTest::qWaitFor([&] { return tooltip("toolTip").value<QObject*>()->property("opened").toBool(); }));
        }
        QTest::mouseMove(m_window, QPoint(5, m_window->height() - 5));
        settle();
    }
    bar->setProperty("updater", QVariant::fromValue<QObject*>(nullptr));
}

TEST_F(MainWindowTest, update_pill_follows_the_checker_and_the_warning_tag_opens_the_usage_popover)
{
    showWindow();
    QString error;
    std::unique_ptr<QObject> updater = fromQml(R"(
import QtQml
QtObject {
    property bool available: false
    property bool downloading: false
    property bool ready: false
    property string latestVersion: "1.4.0"
    property url pageURL: ""
    property int installs: 0
    function install() { installs += 1 }
}
)", QStringLiteral("qrc:/test/FakeUpdater.qml"), error);
    ASSERT_TRUE(updater) << error.toStdString();
    QQuickItem* bar = item("topBar");
    bar->setProperty("updater", QVariant::fromValue(updater.get()));
    settle();
    QQuickItem* pill = item("updatePill");
    ASSERT_NE(pill, nullptr);
    EXPECT_FALSE(pill->isVisible());

    updater->setProperty("available", true);
    settle();
    EXPECT_TRUE(pill->isVisible());
    EXPECT_EQ(text("updatePillText"), QStringLiteral("Update"));
    updater->setProperty("downloading", true);
    settle();
    EXPECT_EQ(text("updatePillText"), QStringLiteral("Downloading…"));
    EXPECT_FALSE(item("updatePillMouse")->property("enabled").toBool());
    click(pill);
    EXPECT_EQ(updater->property("installs").toInt(), 0);
    updater->setProperty("downloading", false);
    updater->setProperty("ready", true);
    settle();
    EXPECT_EQ(text("updatePillText"), QStringLiteral("Install Update"));
    EXPECT_DOUBLE_EQ(pill->property("color").value<QColor>().alphaF(), 1.0);
    shot("update-pill");
    click(pill);
    EXPECT_EQ(updater->property("installs").toInt(), 1);

    // The tag opens the Claude usage popover, as the Claude button does.
    bar->setProperty("metrics", QVariantList{QVariantMap{{"percent", 100.0}}});
    settle();
    QQuickItem* tag = item("usageWarningTag");
    ASSERT_TRUE(tag->isVisible());
    click(tag);
    EXPECT_TRUE(bar->property("showUsage").toBool());
    shot("claude-usage-popover");
    bar->setProperty("updater", QVariant::fromValue<QObject*>(nullptr));
    settle();
}

TEST_F(MainWindowTest, layout_picker_hover_survives_cell_exits_and_a_click_is_saved)
{
    showWindow();
    QQuickItem* picker = visibleItem("layoutPicker");
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(text("chipText"), QStringLiteral("Auto"));
    click(item("layoutChip"));
    ASSERT_TRUE(waitUntil([&] { return item("caption") && item("caption")->isVisible(); }));
    EXPECT_EQ(text("caption"), QStringLiteral("Adapts columns to window shape"));

    QQuickItem* cell32 = item("cell3x2");
    QQuickItem* cell22 = item("cell2x2");
    ASSERT_NE(cell32, nullptr);
    QTest::mouseMove(m_window, centre(cell22));
    settle();
    QTest::mouseMove(m_window, centre(cell32));
    settle();
    EXPECT_EQ(text("caption"), QStringLiteral("3 × 2  ·  6 panes fit"));
    EXPECT_TRUE(cell32->property("lit").toBool());
    EXPECT_TRUE(item("cell1x1")->property("lit").toBool());
    EXPECT_FALSE(item("cell1x3")->property("lit").toBool());
    shot("layout-picker");
    // Into the gap between two cells: still inside the matrix, the preview stays.
    const QPointF gap = cell32->mapToScene(QPointF(cell32->width() + 2, cell32->height() / 2));
    QTest::mouseMove(m_window, gap.toPoint());
    settle();
    EXPECT_EQ(text("caption"), QStringLiteral("3 × 2  ·  6 panes fit"));
    // Out of the matrix: the setting's caption returns.
    QQuickItem* matrix = item("matrix");
    const QPointF below = matrix->mapToScene(QPointF(matrix->width() / 2, matrix->height() + 12));
    QTest::mouseMove(m_window, below.toPoint());
    settle();
    EXPECT_EQ(text("caption"), QStringLiteral("Adapts columns to window shape"));

    QTest::mouseMove(m_window, centre(cell32));
    settle();
    click(cell32);
    EXPECT_EQ(m_model->workspaces()[0].forcedColumns, std::optional<int>(3));
    EXPECT_EQ(m_model->workspaces()[0].maxRows, 2);
    EXPECT_EQ(text("chipText"), QStringLiteral("3×2"));
    const QJsonObject saved = savedState().value("workspaces").toArray().at(0).toObject();
    EXPECT_EQ(saved.value("forcedColumns").toInt(), 3);
    EXPECT_EQ(saved.value("maxRows").toInt(), 2);

    // The Auto row stores automatic columns and four rows.
    click(item("layoutChip"));
    ASSERT_TRUE(waitUntil([&] { return item("autoRow") && item("autoRow")->isVisible(); }));
    EXPECT_EQ(text("caption"), QStringLiteral("3 × 2 — extra panes scroll"));
    click(item("autoRow"));
    EXPECT_FALSE(m_model->workspaces()[0].forcedColumns.has_value());
    EXPECT_EQ(m_model->workspaces()[0].maxRows, 4);
    const QJsonObject automatic = savedState().value("workspaces").toArray().at(0).toObject();
    EXPECT_FALSE(automatic.contains("forcedColumns"));
    EXPECT_EQ(automatic.value("maxRows").toInt(), 4);
    EXPECT_EQ(text("chipText"), QStringLiteral("Auto"));
}

TEST_F(MainWindowTest, every_rail_operation_is_in_state_json)
{
    showWindow();
    ChatHost::shared().reportState(QUuid(QString(kChat1)), PaneState::Awaiting);
    QQuickItem* rail = item("workspaceRail");
    ASSERT_NE(rail, nullptr);

    // Select by clicking the second row.
    QQuickItem* row1 = item("workspaceRow1");
    ASSERT_NE(row1, nullptr);
    click(visibleItem("expandedRow", row1));
    EXPECT_EQ(savedState().value("selected").toString(), QString(kWorkspaceB));
    EXPECT_EQ(text("workspaceName"), QStringLiteral("my  api"));

    // Hover shows the ellipsis; it opens the workspace menu.
    QQuickItem* row0 = visibleItem("expandedRow", item("workspaceRow0"));
    ASSERT_NE(row0, nullptr);
    QTest::mouseMove(m_window, centre(row0));
    settle();
    EXPECT_EQ(rail->property("hoveredID").toString(), QString(kWorkspaceA));
    // Straight onto the next row: its enter is not undone by the first row's leave.
    QTest::mouseMove(m_window, centre(visibleItem("expandedRow", item("workspaceRow1"))));
    settle();
    EXPECT_EQ(rail->property("hoveredID").toString(), QString(kWorkspaceB));
    QTest::mouseMove(m_window, centre(row0));
    settle();
    EXPECT_EQ(rail->property("hoveredID").toString(), QString(kWorkspaceA));
    QQuickItem* ellipsis = visibleItem("ellipsisButton", row0);
    ASSERT_NE(ellipsis, nullptr);
    click(ellipsis);
    QObject* menu = rail->property("menu").value<QObject*>();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(waitUntil([&] { return menu->property("opened").toBool(); }));
    shot("workspace-menu");

    // Rename through the dialog.
    click(item("renameItem"));
    QObject* dialog = rail->property("renameDialog").value<QObject*>();
    ASSERT_TRUE(waitUntil([&] { return dialog->property("opened").toBool(); }));
    QQuickItem* field = item("workspaceNameField");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->property("text").toString(), QStringLiteral("Web app"));
    // A name longer than the saved state holds is not taken in past that bound.
    QMetaObject::invokeMethod(field, "insert", Q_ARG(int, 0), Q_ARG(QString, QString(300, QLatin1Char('x'))));
    EXPECT_EQ(field->property("length").toInt(), 256);
    QTest::keyClick(m_window, Qt::Key_A, Qt::ControlModifier);
    for (const char c : QByteArrayLiteral("Front end"))
        QTest::keyClick(m_window, c);
    settle();
    click(item("renameConfirm"));
    ASSERT_TRUE(waitUntil([&] { return !dialog->property("visible").toBool(); }));
    EXPECT_EQ(savedState().value("workspaces").toArray().at(0).toObject().value("name").toString(),
              QStringLiteral("Front end"));

    // A blank name changes nothing.
    QMetaObject::invokeMethod(rail, "openRename", Q_ARG(QString, QString(kWorkspaceA)), Q_ARG(QString, QString("   ")));
    settle();
    click(item("renameConfirm"));
    EXPECT_EQ(m_model->workspaces()[0].name, QStringLiteral("Front end"));

    // Colour from the submenu (context menu this time).
    click(row0, Qt::RightButton);
    ASSERT_TRUE(waitUntil([&] { return menu->property("opened").toBool(); }));
    QObject* colorMenu = menu->property("colorMenu").value<QObject*>();
    ASSERT_NE(colorMenu, nullptr);
    QMetaObject::invokeMethod(colorMenu, "open");
    ASSERT_TRUE(waitUntil([&] { return colorMenu->property("opened").toBool(); }));
    shot("workspace-color-menu");
    click(item("colorItem2"));
    EXPECT_EQ(savedState().value("workspaces").toArray().at(0).toObject().value("colorHex").toString(),
              QStringLiteral("4aa37e"));
    settle(300);

    // The check mark follows the stored text exactly: capitals draw blue but mark nothing.
    const auto colorSymbol = [&](int index) {
        QQuickItem* entry = nullptr;
        QMetaObject::invokeMethod(colorMenu, "itemAt", Q_RETURN_ARG(QQuickItem*, entry), Q_ARG(int, index));
        return entry ? entry->property("symbol").toString() : QStringLiteral("<none>");
    };
    click(row0, Qt::RightButton);
    ASSERT_TRUE(waitUntil([&] { return menu->property("opened").toBool(); }));
    EXPECT_EQ(colorSymbol(2), QStringLiteral("checkmark"));
    EXPECT_EQ(colorSymbol(0), QString());
    QMetaObject::invokeMethod(menu, "close");
    settle(300);
    m_model->setWorkspaceColor(QUuid(QString(kWorkspaceA)), QStringLiteral("5B8CEE"));
    click(row0, Qt::RightButton);
    ASSERT_TRUE(waitUntil([&] { return menu->property("opened").toBool(); }));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(colorSymbol(i), QString()) << i;
    QMetaObject::invokeMethod(menu, "close");
    settle(300);

    // Delete: at once, no confirmation.
    click(visibleItem("expandedRow", item("workspaceRow2")), Qt::RightButton);
    ASSERT_TRUE(waitUntil([&] { return menu->property("opened").toBool(); }));
    click(item("deleteItem"));
    const QJsonArray left = savedState().value("workspaces").toArray();
    ASSERT_EQ(left.size(), 2);
    EXPECT_EQ(left.at(0).toObject().value("id").toString(), QString(kWorkspaceA));
    EXPECT_EQ(left.at(1).toObject().value("id").toString(), QString(kWorkspaceB));
    settle(300);

    // Collapse: tiles with monograms.
    click(item("collapseButton"));
    EXPECT_TRUE(m_model->sidebarCollapsed());
    settle(300);
    QQuickItem* tile = visibleItem("monogram", item("workspaceRow1"));
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->property("text").toString(), QStringLiteral("MA"));
    shot("window-collapsed");
    click(visibleItem("collapsedRow", item("workspaceRow0")));
    EXPECT_EQ(savedState().value("selected").toString(), QString(kWorkspaceA));

    // New workspace button opens the sheet.
    click(item("newWorkspaceButton"));
    EXPECT_EQ(m_model->activeSheet(), std::optional<ActiveSheet>(ActiveSheet::NewWorkspace));
}

// The probes the fake login shell answered so far.
static QStringList shellLog()
{
    QFile f(qEnvironmentVariable("FAKE_SHELL_LOG"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Names that hold a right-to-left override and tag characters ("ws<RLO>gpj.exe" reads "wsexe.jpg")
// show them as marks in the rail, its tooltip, the top bar, the pane header and the attention
// chip. The rename dialog holds the marks written out; left as it is, the stored name stays, and
// an edit keeps what the marks stand for.
TEST_F(MainWindowTest, names_show_hidden_characters_as_marks_and_a_rename_keeps_them)
{
    const QString workspace = QString::fromUtf16(u"ws\u202Egpj.exe\U000E0041");
    const QString project = QString::fromUtf16(u"rlo\u202Egpj.exe");
    m_model->renameWorkspace(QUuid(QString(kWorkspaceA)), workspace);
    m_model->rename(QUuid(QString(kChat1)), project);
    showWindow();
    ChatHost::shared().reportState(QUuid(QString(kChat1)), PaneState::Awaiting);
    settle();
    const auto marks = [](QQuickItem* i, QStringList labels) {
        const QString shown = i ? i->property("text").toString() : QStringLiteral("<none>");
        for (const QString& label : labels)
            if (!shown.contains("&lt;" + label + "&gt;") || shown.contains(QChar(0x202E)) || shown.contains("exe.jpg"))
                return testing::AssertionFailure() << shown.toStdString();
        return testing::AssertionSuccess();
    };
    EXPECT_TRUE(marks(item("workspaceName"), {"U+202E", "U+E0041"}));
    QQuickItem* row = visibleItem("expandedRow", item("workspaceRow0"));
    EXPECT_TRUE(marks(visibleItem("rowName", row), {"U+202E", "U+E0041"}));
    QQmlExpression tooltip(qmlContext(row), row, QStringLiteral("ToolTip.text"));
    EXPECT_EQ(tooltip.evaluate().toString(), QStringLiteral("ws<U+202E>gpj.exe<U+E0041>"));
    QList<QQuickItem*> headers;
    collect(m_window->contentItem(), QStringLiteral("projectName"), headers);
    EXPECT_EQ(std::count_if(headers.cbegin(), headers.cend(), [&](QQuickItem* h) { return marks(h, {"U+202E"}); }), 1);
    EXPECT_TRUE(marks(visibleItem("chipLabel", item(QStringLiteral("chip:") + kChat1)), {"U+202E"}));
    shot("names-with-hidden-characters");

    QQuickItem* rail = item("workspaceRail");
    const auto rename = [&](const QByteArray& typed) {
        QMetaObject::invokeMethod(rail, "openRename", Q_ARG(QString, QString(kWorkspaceA)),
                                  Q_ARG(QString, m_model->workspaces()[0].name));
        QObject* dialog = rail->property("renameDialog").value<QObject*>();
        EXPECT_TRUE(waitUntil([&] { return dialog->property("opened").toBool(); }));
        EXPECT_EQ(item("workspaceNameField")->property("text").toString(), QStringLiteral("ws<U+202E>gpj.exe<U+E0041>"));
        QTest::keyClick(m_window, Qt::Key_End);
        for (const char c : typed)
            QTest::keyClick(m_window, c);
        click(item("renameConfirm"));
        EXPECT_TRUE(waitUntil([&] { return !dialog->property("visible").toBool(); }));
    };
    rename("");
    EXPECT_EQ(m_model->workspaces()[0].name, workspace);
    rename("2");
    EXPECT_EQ(m_model->workspaces()[0].name, workspace + "2");
    // The mark's text typed is saved as typed, beside the name's own hidden characters.
    m_model->renameWorkspace(QString(kWorkspaceA), workspace);
    rename("<U+200B>");
    EXPECT_EQ(m_model->workspaces()[0].name, workspace + "<U+200B>");
}

TEST_F(MainWindowTest, launch_detects_codex_once_and_its_usage_button_appears_when_signed_in)
{
    const auto codexProbes = [] { return shellLog().filter(QStringLiteral("command -v codex")).size(); };
    const int before = codexProbes();
    showWindow();
    ASSERT_TRUE(waitUntil([&] { return m_model->codex().has_value(); }, 20000));
    EXPECT_EQ(codexProbes(), before + 1);
    settle();
    QQuickItem* codexButton = visibleItem("codexUsageButton");
    ASSERT_NE(codexButton, nullptr);

    // Its click refreshes the Codex account and opens the popover below it.
    click(codexButton);
    EXPECT_TRUE(codexButton->property("showPopover").toBool());
    shot("codex-usage-popover");
    escape();  // the popover takes this Escape for itself
    settle();
    EXPECT_FALSE(codexButton->property("showPopover").toBool());

    // Shown anew with the result known: no second detection.
    m_root.reset();
    m_engine.reset();
    showWindow();
    settle(200);
    EXPECT_EQ(codexProbes(), before + 1);
}

TEST_F(MainWindowTest, the_bar_moves_the_window_zooms_it_and_the_edges_resize_it)
{
    showWindow();
    auto* chrome = m_main->findChild<WindowChrome*>();
    ASSERT_NE(chrome, nullptr);
    int moves = 0;
    QList<int> resizes;
    QObject::connect(chrome, &WindowChrome::moveRequested, [&] { ++moves; });
    QObject::connect(chrome, &WindowChrome::resizeRequested, [&](int edges) { resizes << edges; });

    // A drag on an empty part of the bar hands the move to the window manager.
    const QPoint start(400, 19);
    QTest::mousePress(m_window, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(m_window, start + QPoint(30, 4));
    QTest::mouseRelease(m_window, Qt::LeftButton, Qt::NoModifier, start + QPoint(30, 4));
    settle();
    EXPECT_EQ(moves, 1);

    // The edges and corners resize.
    QTest::mousePress(m_window, Qt::LeftButton, Qt::NoModifier, QPoint(m_window->width() - 2, 400));
    QTest::mouseRelease(m_window, Qt::LeftButton, Qt::NoModifier, QPoint(m_window->width() - 2, 400));
    QTest::mousePress(m_window, Qt::LeftButton, Qt::NoModifier, QPoint(m_window->width() - 2, m_window->height() - 2));
    QTest::mouseRelease(m_window, Qt::LeftButton, Qt::NoModifier, QPoint(m_window->width() - 2, m_window->height() - 2));
    settle();
    EXPECT_EQ(resizes, (QList<int>{int(Qt::RightEdge), int(Qt::RightEdge | Qt::BottomEdge)}));

    // A double click zooms (maximises); another restores.
    QTest::mouseDClick(m_window, Qt::LeftButton, Qt::NoModifier, start);
    const bool zoomed = waitUntil([&] { return chrome->maximized(); });
    if (!zoomed && QGuiApplication::platformName() == QStringLiteral("xcb"))
        GTEST_SKIP() << "no window manager to maximise the window";
    ASSERT_TRUE(zoomed);
    EXPECT_FALSE(item("windowButtons")->property("visible").toBool() == false);
    chrome->zoom();
    EXPECT_TRUE(waitUntil([&] { return !chrome->maximized(); }));
}

TEST_F(MainWindowTest, full_screen_is_mirrored_and_hides_the_window_buttons)
{
    showWindow();
    auto* chrome = m_main->findChild<WindowChrome*>();
    ASSERT_NE(chrome, nullptr);
    QQuickItem* buttons = item("windowButtons");
    ASSERT_NE(buttons, nullptr);
    EXPECT_TRUE(buttons->isVisible());
    QQuickItem* title = item("workspaceTitle");
    EXPECT_DOUBLE_EQ(title->x(), 84.0);

    QTest::keyClick(m_window, Qt::Key_F11);
    const bool entered = waitUntil([&] { return m_model->isFullscreen(); });
    // On X11 full screen is granted by the window manager; a bare X server has none.
    if (!entered && QGuiApplication::platformName() == QStringLiteral("xcb"))
        GTEST_SKIP() << "no window manager to grant full screen";
    ASSERT_TRUE(entered);
    settle();
    EXPECT_FALSE(buttons->isVisible());
    EXPECT_DOUBLE_EQ(title->x(), 16.0);
    shot("window-fullscreen");

    chrome->toggleFullScreen();
    ASSERT_TRUE(waitUntil([&] { return !m_model->isFullscreen(); }));
    settle();
    EXPECT_TRUE(buttons->isVisible());
    EXPECT_DOUBLE_EQ(title->x(), 84.0);
}
