// The application as a user meets it: the real window file (qrc:/Brinmoor/Main.qml) started on a
// saved state of three sessions, driven with mouse and keys. It checks the model and the state
// file after each step and saves a screenshot of each step under the build folder (app_*.png), or
// under $BRINMOOR_SHOT_DIR. Runs offscreen in ctest and under xvfb-run with QT_QPA_PLATFORM=xcb.
#include "AppModel.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <iostream>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_SheetsPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_TerminalPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)
Q_IMPORT_QML_PLUGIN(BrinmoorPlugin)

namespace {

const char* kSeed = R"({
  "recents" : [],
  "selected" : "5E1F0A00-0000-4000-8000-000000000001",
  "workspaces" : [
    {
      "bigSideLeft" : false,
      "colorHex" : "5b8cee",
      "id" : "5E1F0A00-0000-4000-8000-000000000001",
      "maxRows" : 4,
      "name" : "Brinmoor",
      "sessions" : [
        {
          "autoApprove" : false,
          "autoCompact" : true,
          "directory" : "@ROOT@\/api",
          "id" : "5E1F0A00-0000-4000-8000-0000000000A1",
          "kind" : "terminal",
          "muted" : false,
          "project" : "api",
          "provider" : "claude",
          "sessionLabel" : "session 1"
        },
        {
          "autoApprove" : true,
          "autoCompact" : true,
          "directory" : "@ROOT@\/web",
          "id" : "5E1F0A00-0000-4000-8000-0000000000A2",
          "kind" : "chat",
          "muted" : false,
          "project" : "web",
          "provider" : "claude",
          "sessionLabel" : "session 1"
        },
        {
          "autoApprove" : false,
          "autoCompact" : true,
          "directory" : "@ROOT@\/docs",
          "id" : "5E1F0A00-0000-4000-8000-0000000000A3",
          "kind" : "terminal",
          "muted" : true,
          "project" : "docs",
          "provider" : "codex",
          "sessionLabel" : "session 1"
        }
      ]
    }
  ]
}
)";

const QString kApi = QStringLiteral("5E1F0A00-0000-4000-8000-0000000000A1");

class AppScenario : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sandbox = new QTemporaryDir;
        const QString root = sandbox->path();
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
        qputenv("HOME", QFile::encodeName(root + "/home"));
        QDir().mkpath(root + "/home");
        QDir().mkpath(root + "/data/Brinmoor");
        // Terminal panes start a shell in their folder: a plain one, never the user's own.
        qputenv("SHELL", "/bin/sh");
        qputenv("ENV", "");
        for (const char* project : {"api", "web", "docs"})
            QDir().mkpath(root + "/projects/" + project);
        QString seed = QString::fromUtf8(kSeed);
        seed.replace("@ROOT@", QString(root + "/projects").replace("/", "\\/"));
        QFile f(root + "/data/Brinmoor/state.json");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(seed.toUtf8());
        f.close();
        static int argc = 1;
        static char name[] = "brinmoor";
        static char* argv[] = {name, nullptr};
        app = new QGuiApplication(argc, argv);
        QQuickStyle::setStyle(QStringLiteral("Basic"));
    }
    static void TearDownTestSuite()
    {
        delete app;
        app = nullptr;
        delete sandbox;
        sandbox = nullptr;
    }

    static QString statePath() { return sandbox->path() + "/data/Brinmoor/state.json"; }
    static QString stateText()
    {
        QFile f(statePath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    static QString shotDir()
    {
        QString dir = qEnvironmentVariable("BRINMOOR_SHOT_DIR");
        if (dir.isEmpty())
            dir = QStringLiteral(BRINMOOR_BINARY_DIR) + "/gallery";
        QDir().mkpath(dir);
        return dir;
    }
    QImage shot(const QString& name)
    {
        QTest::qWait(80);
        const QImage img = window->grabWindow();
        img.save(shotDir() + "/app_" + name + ".png");
        return img;
    }

    // Visible items of that name, through the visual tree (delegates are not QObject children).
    static void collect(QQuickItem* at, const QString& objectName, QList<QQuickItem*>& out)
    {
        if (!at->isVisible())
            return;
        if (at->objectName() == objectName)
            out << at;
        for (QQuickItem* child : at->childItems())
            collect(child, objectName, out);
    }
    QList<QQuickItem*> items(const QString& objectName) const
    {
        QList<QQuickItem*> out;
        // The content item's parent is the window's root item, which also holds the popup overlay.
        collect(window->contentItem()->parentItem() ? window->contentItem()->parentItem() : window->contentItem(),
                objectName, out);
        return out;
    }
    QQuickItem* item(const QString& objectName) const
    {
        const auto all = items(objectName);
        return all.isEmpty() ? nullptr : all.first();
    }
    void click(QQuickItem* target, QPointF at = QPointF(-1, -1))
    {
        ASSERT_NE(target, nullptr);
        if (at.x() < 0)
            at = QPointF(target->width() / 2, target->height() / 2);
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, target->mapToScene(at).toPoint());
        QTest::qWait(30);
    }
    // The pane view showing a session, found by the project name it shows.
    QQuickItem* paneNamed(const QString& project) const
    {
        for (QQuickItem* pane : items("paneView")) {
            QList<QQuickItem*> labels;
            collect(pane, QStringLiteral("projectName"), labels);
            for (QQuickItem* label : labels)
                if (label->property("text").toString() == project)
                    return pane;
        }
        return nullptr;
    }

    static QTemporaryDir* sandbox;
    static QGuiApplication* app;
    QQmlApplicationEngine* engine = nullptr;
    QQuickWindow* window = nullptr;
};

QTemporaryDir* AppScenario::sandbox = nullptr;
QGuiApplication* AppScenario::app = nullptr;

bool near(QColor a, const char* hex, int tolerance = 3)
{
    const QColor b(QString::fromLatin1("#") + hex);
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST_F(AppScenario, frames_stop_restart_add_session_theme_and_quit)
{
    QQmlApplicationEngine eng;
    engine = &eng;
    eng.addImportPath(QStringLiteral("qrc:/"));
    eng.load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
    ASSERT_EQ(eng.rootObjects().size(), 1);
    window = qobject_cast<QQuickWindow*>(eng.rootObjects().first());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));

    // The window: 1240 x 780 at first, never below 980 x 640, frameless.
    EXPECT_EQ(window->width(), 1240);
    EXPECT_EQ(window->height(), 780);
    EXPECT_EQ(window->minimumSize(), QSize(980, 640));
    EXPECT_TRUE(window->flags() & Qt::FramelessWindowHint);

    // Three framed panes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("paneShell").size() == 3; }, 3000));
    EXPECT_TRUE(items("stoppedPlaceholder").isEmpty());
    shot("1_three_panes");

    // Stop "api" from its menu: the pane shows the stopped card, without frame or menu.
    QQuickItem* api = paneNamed("api");
    ASSERT_NE(api, nullptr);
    QQuickItem* menuButton = nullptr;
    for (QQuickItem* b : items("menuButton"))
        if (api->isAncestorOf(b))
            menuButton = b;
    click(menuButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("menuItem5") != nullptr; }, 2000));
    shot("2_menu_open");
    click(item("menuItem5"));
    auto* model = brinmoor::AppModel::instance();
    EXPECT_EQ(model->session(QUuid(kApi))->state, brinmoor::PaneState::Stopped);
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("stoppedPlaceholder").size() == 1; }, 2000));
    EXPECT_EQ(items("paneShell").size(), 2);
    shot("3_stopped");

    // Restart brings the frame back.
    click(item("restartButton"));
    EXPECT_EQ(model->session(QUuid(kApi))->state, brinmoor::PaneState::Running);
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("paneShell").size() == 3; }, 2000));
    EXPECT_TRUE(items("stoppedPlaceholder").isEmpty());
    shot("4_restarted");

    // Ctrl+Shift+T opens the add-session sheet with the most recent folder chosen; a terminal
    // there becomes a framed pane and is saved.
    const QString folder = sandbox->path() + "/projects/newapp";
    QDir().mkpath(folder);
    model->rememberRecent(folder);
    QTest::keySequence(window, QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("addSessionSheet") != nullptr; }, 2000));
    EXPECT_EQ(model->activeSheetText(), "addSession");
    click(item("terminalChip"));
    EXPECT_EQ(item("providerSection"), nullptr);
    shot("5_add_session_sheet");
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(model->activeSheetText(), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return items("paneShell").size() == 4; }, 2000));
    EXPECT_NE(paneNamed("newapp"), nullptr);
    EXPECT_TRUE(stateText().contains(QString(folder).replace("/", "\\/")));
    shot("6_session_added");

    // Ctrl+Shift+N opens the new-workspace sheet; Escape closes it.
    QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("newWorkspaceSheet") != nullptr; }, 2000));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(model->activeSheetText(), "");

    // The theme toggle recolours everything, animated: halfway the bar is neither dark nor light.
    QQuickItem* bar = item("topBar");
    ASSERT_NE(bar, nullptr);
    const QPoint probe = bar->mapToScene(QPointF(300, 10)).toPoint();
    EXPECT_TRUE(near(window->grabWindow().pixelColor(probe), "16181f"));
    click(item("themeToggle"));
    EXPECT_EQ(model->themePreferenceText(), "light");
    QTest::qWait(100);
    const QImage mid = window->grabWindow();
    mid.save(shotDir() + "/app_7_theme_midway.png");
    const QColor midColour = mid.pixelColor(probe);
    EXPECT_FALSE(near(midColour, "16181f")) << midColour.name().toStdString();
    EXPECT_FALSE(near(midColour, "dfe1e6")) << midColour.name().toStdString();
    QTest::qWait(400);
    const QImage light = shot("8_light");
    EXPECT_TRUE(near(light.pixelColor(probe), "dfe1e6")) << light.pixelColor(probe).name().toStdString();

    // Closing the one window ends the application: its event loop returns.
    QTimer::singleShot(0, window, [this] { window->close(); });
    QTimer::singleShot(5000, app, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QGuiApplication::exec(), 0);
}
