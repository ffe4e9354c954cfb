// A first start: no saved state and no onboarding flag. The window shows the first-run view;
// naming a workspace there creates it through the model, saves it, sets the flag and shows the
// main view. Screenshots go under the build folder (first_run_*.png) or $BRINMOOR_SHOT_DIR.
#include "AppModel.h"

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

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_SheetsPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_TerminalPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)
Q_IMPORT_QML_PLUGIN(BrinmoorPlugin)

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

} // namespace

TEST(AppFirstRun, onboarding_names_the_first_workspace_and_shows_the_main_view)
{
    QTemporaryDir sandbox;
    ASSERT_TRUE(sandbox.isValid());
    const QString root = sandbox.path();
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    qputenv("HOME", QFile::encodeName(root + "/home"));
    qputenv("SHELL", "/bin/sh");
    qputenv("ENV", "");
    QDir().mkpath(root + "/home");

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

    for (QChar ch : QStringLiteral("Research"))
        QTest::keyClick(window, ch.toLatin1(), ch.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
    QTest::qWait(50);
    window->grabWindow().save(shotDir() + "/first_run_onboarding.png");
    QTest::keyClick(window, Qt::Key_Return);

    EXPECT_FALSE(model->showOnboarding());
    ASSERT_EQ(model->workspaces().size(), 1);
    EXPECT_EQ(model->workspaces().first().name, "Research");
    ASSERT_TRUE(QTest::qWaitFor([&] { return find(window->contentItem(), "onboarding") == nullptr; }, 2000));
    QTest::qWait(300);
    window->grabWindow().save(shotDir() + "/first_run_main.png");

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
    QTest::qWait(400);
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
    EXPECT_TRUE(state.readAll().contains("\"name\" : \"Research\""));
}
