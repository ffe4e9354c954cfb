// The application as a user meets it: the real window file (qrc:/Brinmoor/Main.qml) on a saved
// state that each test file seeds, in a sandbox of its own (data, config, home, project folders),
// with helpers to find items through the visual tree, click them and save screenshots.
#pragma once

#include "AppModel.h"
#include "support/QtTestSupport.h"
#include "support/SeedState.h"

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

#include <initializer_list>

class AppScenarioBase : public ::testing::Test
{
protected:
    // Seeds state.json from `seed` (folders below the sandbox's projects folder) and makes the
    // folders of `projects`; call it from the test file's SetUpTestSuite.
    static void setUpSandbox(const QList<brinmoor::test::SeedWorkspace>& seed, std::initializer_list<const char*> projects)
    {
        sandbox = new QTemporaryDir;
        const QString root = sandbox->path();
        brinmoor::test::useSandboxHome(root);
        QDir().mkpath(root + "/data/Brinmoor");
        for (const char* project : projects)
            QDir().mkpath(root + "/projects/" + project);
        QFile f(root + "/data/Brinmoor/state.json");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(brinmoor::test::seedState(seed, root + "/projects"));
        f.close();
        static int argc = 1;
        static char name[] = "brinmoor";
        static char* argv[] = {name, nullptr};
        app = new QGuiApplication(argc, argv);
        QQuickStyle::setStyle(QStringLiteral("Basic"));
    }
    // Loads the application's window and waits until it is shown and active.
    void start(QQmlApplicationEngine& eng)
    {
        engine = &eng;
        eng.addImportPath(QStringLiteral("qrc:/"));
        eng.load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
        ASSERT_EQ(eng.rootObjects().size(), 1);
        window = qobject_cast<QQuickWindow*>(eng.rootObjects().first());
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        window->requestActivate();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
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

    static inline QTemporaryDir* sandbox = nullptr;
    static inline QGuiApplication* app = nullptr;
    QQmlApplicationEngine* engine = nullptr;
    QQuickWindow* window = nullptr;
};


inline bool near(QColor a, const char* hex, int tolerance = 3)
{
    const QColor b(QString::fromLatin1("#") + hex);
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

