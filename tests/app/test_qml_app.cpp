// The application core seen from QML: the AppModel singleton, its list models and the logo views.

#include "AppModel.h"
#include "support/TestEnvironment.h"

#include <QFont>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)

using namespace brinmoor;

BRINMOOR_APP_TEST_ENVIRONMENT();

namespace {

const char* kScene = R"(
import QtQuick
import Brinmoor.App

Window {
    id: root
    width: 360
    height: 160
    visible: true
    color: "#101010"

    property int rows: list.count
    property string firstProject: ""
    function build() {
        AppModel.addWorkspace("From QML", "5b8cee");
        AppModel.addSession("terminal", null, "/tmp/alpha", false, "claude");
        AppModel.addSession("chat", "Named", "/tmp/beta", true, "codex");
    }

    Row {
        x: 10
        y: 10
        spacing: 20
        ClaudeLogo { objectName: "claude"; size: 64 }
        CodexLogo { objectName: "codex"; size: 64; color: "#ff0000" }
        LogoMark { size: 64 }
        ProviderLogo { provider: "codex"; size: 32; color: "#00ff00" }
        CodexLogo { objectName: "codexWithout"; size: 20; hasImage: false }
    }

    ListView {
        id: list
        y: 90
        width: 300
        height: 60
        model: AppModel.selectedSessions
        delegate: Text {
            required property string project
            required property string state
            required property string provider
            text: project + " " + state + " " + provider
            color: "white"
            Component.onCompleted: if (root.firstProject === "") root.firstProject = project
        }
    }
}
)";

} // namespace

TEST(QmlAppModel, singleton_models_and_logos_work_from_qml)
{
    test::ScopedDataHome home;
    QTemporaryDir dir;
    QSettings settings(dir.path() + QStringLiteral("/d.ini"), QSettings::IniFormat);
    AppModel model(Store(false), &settings);
    AppModel::setInstance(&model);

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));  // where the static modules keep their qmldir
    QQmlComponent component(&engine);
    component.setData(kScene, QUrl(QStringLiteral("qrc:/test/Scene.qml")));
    std::unique_ptr<QObject> root(component.create());
    ASSERT_TRUE(root) << component.errorString().toStdString();
    auto* window = qobject_cast<QQuickWindow*>(root.get());
    ASSERT_NE(window, nullptr);

    ASSERT_TRUE(QMetaObject::invokeMethod(window, "build"));
    ASSERT_EQ(model.workspaces().size(), 1);
    ASSERT_EQ(model.workspaces()[0].sessions.size(), 2);
    EXPECT_EQ(model.workspaces()[0].sessions[0].project, QStringLiteral("alpha"));
    EXPECT_EQ(model.workspaces()[0].sessions[1].project, QStringLiteral("Named"));
    EXPECT_TRUE(test::waitUntil([&] { return window->property("rows").toInt() == 2; }, 3000));
    EXPECT_EQ(window->property("firstProject").toString(), QStringLiteral("alpha"));

    // The codex mark is drawn in the colour it is given.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QImage shot = window->grabWindow();
    ASSERT_FALSE(shot.isNull());
    if (qEnvironmentVariableIsSet("BRINMOOR_SHOT"))
        shot.save(qEnvironmentVariable("BRINMOOR_SHOT"));
    auto* codex = window->findChild<QQuickItem*>(QStringLiteral("codex"));
    ASSERT_NE(codex, nullptr);
    const QPointF origin = codex->mapToScene(QPointF(0, 0));
    int red = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QColor c = shot.pixelColor(int(origin.x()) + x, int(origin.y()) + y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
                ++red;
        }
    EXPECT_GT(red, 200);

    // Without its image the Codex mark is the code-brackets symbol at 0.8 x size, semibold.
    auto* without = window->findChild<QQuickItem*>(QStringLiteral("codexWithout"));
    ASSERT_NE(without, nullptr);
    auto* symbol = without->findChild<QQuickItem*>(QStringLiteral("fallback"));
    ASSERT_NE(symbol, nullptr);
    EXPECT_TRUE(symbol->isVisible());
    const QFont font = symbol->property("font").value<QFont>();
    EXPECT_EQ(font.pixelSize(), 16);
    EXPECT_EQ(font.weight(), QFont::DemiBold);
    AppModel::setInstance(nullptr);
}
