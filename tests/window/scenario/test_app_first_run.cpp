// A first start: no saved state and no onboarding flag, fake agent tools. The window shows the
// first-run view with the tools' status; a browser login waits for the tool; naming a workspace
// creates it through the model, saves it, sets the flag and shows the main view. Screenshots go under the build folder (first_run_*.png) or $BRINMOOR_SHOT_DIR.
#include "AppInfo.h"
#include "AppModel.h"
#include "AppQmlModules.h"
#include "Store.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QPalette>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

namespace {

QQuickItem* find(QQuickItem* at, const QString& name)
{
    if (!at->isVisible())
        return nullptr;
    if (at->objectName() == name)
        return at;
    for (QQuickItem* child : at->childItems())
        if (QQuickItem* hit = find(child, name))
            return hit;
    return nullptr;
}

QString shotDir()
{
    QString dir = qEnvironmentVariable("BRINMOOR_SHOT_DIR");
    if (dir.isEmpty())
        dir = QStringLiteral(BRINMOOR_BINARY_DIR) + "/gallery";
    QDir().mkpath(dir);
    return dir;
}

// The card texts of a provider status row.
QString textOf(QQuickItem* card, const char* name)
{
    QQuickItem* t = card ? find(card, QString::fromLatin1(name)) : nullptr;
    return t ? t->property("text").toString() : QString();
}

void click(QQuickWindow* window, QQuickItem* item)
{
    ASSERT_NE(item, nullptr);
    const QPoint at = item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
}

// A fake `codex` that is installed but signed out; its login waits until the test lets it
// finish. There is no `claude`. A login shell resets PATH, so the fakes come in through the
// temporary HOME's profile.
void installFakeTools(const QString& root)
{
    QDir().mkpath(root + "/bin");
    QFile codex(root + "/bin/codex");
    ASSERT_TRUE(codex.open(QIODevice::WriteOnly));
    codex.write(R"(#!/bin/bash
case "$1 $2" in
  "--version "*) echo "codex-cli 0.9.1" ;;
  "login status") if [ -f "$HOME/.codex-authed" ]; then echo "Logged in using ChatGPT"; else echo "Not logged in"; fi ;;
  "login ") while [ ! -f "$HOME/.finish-login" ]; do sleep 0.05; done; touch "$HOME/.codex-authed" ;;
esac
)");
    codex.close();
    codex.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile profile(root + "/home/.bash_profile");
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
    profile.write("export PATH=\"" + QFile::encodeName(root) + "/bin:$PATH\"\n");
}

} // namespace

TEST(AppFirstRun, onboarding_shows_the_tools_logs_in_names_the_first_workspace_and_opens_the_main_view)
{
    QTemporaryDir sandbox;
    ASSERT_TRUE(sandbox.isValid());
    const QString root = sandbox.path();
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    qputenv("HOME", QFile::encodeName(root + "/home"));
    qputenv("SHELL", "/bin/bash");
    qputenv("ENV", "");
    QDir().mkpath(root + "/home");
    installFakeTools(root);

    int argc = 1;
    char name[] = "brinmoor";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
    ASSERT_EQ(engine.rootObjects().size(), 1);
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));

    auto* model = brinmoor::AppModel::instance();
    EXPECT_TRUE(model->showOnboarding());
    QQuickItem* onboarding = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (onboarding = find(window->contentItem(), "onboarding")) != nullptr; }, 2000));

    // The frameless window keeps its buttons and drag strip over the onboarding.
    QQuickItem* minimize = find(window->contentItem(), "minimizeButton");
    ASSERT_NE(minimize, nullptr);
    EXPECT_NE(find(window->contentItem(), "onboardingDragStrip"), nullptr);
    QTest::mouseClick(window, Qt::LeftButton, {}, minimize->mapToScene(QPointF(6, 6)).toPoint());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->windowStates() & Qt::WindowMinimized; }, 2000));
    window->showNormal();
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));

    // The commands work here too: they only choose the sheet.
    QTest::keySequence(window, QKeySequence(QStringLiteral("Ctrl+Shift+N")));
    EXPECT_EQ(model->activeSheetText(), "newWorkspace");
    model->setActiveSheetText(QString());

    // Step 1: both tools are probed as the onboarding opens (off the GUI thread).
    click(window, find(onboarding, "advanceButton"));
    QQuickItem* claude = nullptr;
    QQuickItem* codex = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        claude = find(onboarding, "claudeStatus");
        codex = find(onboarding, "codexStatus");
        return textOf(claude, "statusTitle") == "Claude Code not found" && textOf(codex, "statusTitle") == "Codex needs login";
    }, 20000)) << textOf(claude, "statusTitle").toStdString() << " / " << textOf(codex, "statusTitle").toStdString();
    EXPECT_EQ(textOf(claude, "installCommand"), "npm i -g @anthropic-ai/claude-code");
    EXPECT_EQ(textOf(codex, "statusDetail"), "Installed, but not signed in to ChatGPT.");
    // The welcome step has faded out.
    ASSERT_TRUE(QTest::qWaitFor([&] { return find(onboarding, "step0") == nullptr; }, 2000));
    window->grabWindow().save(shotDir() + "/first_run_tools.png");

    // The browser login waits until the tool's login command ends, then detects again.
    click(window, find(codex, "loginButton"));
    EXPECT_TRUE(model->codexLoggingIn());
    ASSERT_TRUE(QTest::qWaitFor([&] { return textOf(codex, "loginText") == QString::fromUtf8("Waiting for browser…"); }, 2000));
    EXPECT_EQ(textOf(codex, "statusDetail"), QString::fromUtf8("Finish sign-in in your browser…"));
    window->grabWindow().save(shotDir() + "/first_run_login_waiting.png");
    QTest::qWait(300); // a window in which the login must not end by itself
    EXPECT_TRUE(model->codexLoggingIn()) << "still waiting while the login runs";
    QFile(root + "/home/.finish-login").open(QIODevice::WriteOnly);
    ASSERT_TRUE(QTest::qWaitFor([&] { return textOf(codex, "statusTitle") == "Codex ready"; }, 20000));
    EXPECT_FALSE(model->codexLoggingIn());
    EXPECT_EQ(textOf(codex, "statusDetail"), QString::fromUtf8("codex-cli 0.9.1 · ") + root + "/bin/codex");
    window->grabWindow().save(shotDir() + "/first_run_codex_ready.png");

    // Step 2: the name; Return moves on like "Continue".
    click(window, find(onboarding, "advanceButton"));
    for (QChar ch : QStringLiteral("My Project"))
        QTest::keyClick(window, ch.toLatin1(), ch.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return find(onboarding, "step1") == nullptr; }, 2000));
    window->grabWindow().save(shotDir() + "/first_run_onboarding.png");
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_TRUE(model->showOnboarding()) << "Return on the name step never finishes by itself";
    click(window, find(onboarding, "advanceButton"));

    EXPECT_FALSE(model->showOnboarding());
    ASSERT_EQ(model->workspaces().size(), 1);
    EXPECT_EQ(model->workspaces().first().name, "My Project");
    EXPECT_EQ(model->selectedWorkspaceID(), model->workspaces().first().id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return find(window->contentItem(), "onboarding") == nullptr; }, 2000));
    QTest::qWait(300); // only the picture's look: the theme blend settles
    window->grabWindow().save(shotDir() + "/first_run_main.png");

    // A second start reads the flag and the saved workspace: straight to the main window.
    {
        brinmoor::AppModel second(brinmoor::Store::forThisBuild(), &brinmoor::AppInfo::defaults());
        EXPECT_FALSE(second.showOnboarding());
        ASSERT_EQ(second.workspaces().size(), 1);
        EXPECT_EQ(second.selectedWorkspaceID(), second.workspaces().first().id);
    }
    EXPECT_TRUE(brinmoor::AppInfo::defaults().value(QLatin1String(brinmoor::AppInfo::onboardedKey)).toBool());

    // Theme "system" follows the desktop's scheme (read from the application palette), and
    // changes with it; "dark" ignores it.
    QQuickItem* bar = find(window->contentItem(), QStringLiteral("topBar"));
    ASSERT_NE(bar, nullptr);
    const QPoint probe = bar->mapToScene(QPointF(bar->width() / 2 + 200, 6)).toPoint();
    auto barIsDark = [&] { return window->grabWindow().pixelColor(probe).lightness() < 128; };
    EXPECT_TRUE(barIsDark());
    QPalette light;
    light.setColor(QPalette::Window, QColor("#f0f0f0"));
    light.setColor(QPalette::WindowText, QColor("#101010"));
    QGuiApplication::setPalette(light);
    QTest::qWait(400); // longer than a blend: the bar must not turn
    EXPECT_TRUE(barIsDark()) << "the preference is dark at every start";
    model->setThemePreferenceText(QStringLiteral("system"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !barIsDark(); }, 2000));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor("#202020"));
    dark.setColor(QPalette::WindowText, QColor("#f0f0f0"));
    QGuiApplication::setPalette(dark);
    EXPECT_TRUE(QTest::qWaitFor([&] { return barIsDark(); }, 2000));

    QFile state(root + "/data/Brinmoor/state.json");
    ASSERT_TRUE(state.open(QIODevice::ReadOnly));
    EXPECT_TRUE(state.readAll().contains("\"name\" : \"My Project\""));
}
