// The bridge to the frameless window (full-screen mirror, one connection per window) and the
// attention colour that follows a workspace's sessions model.
#include "AppModel.h"
#include "TestEnvironment.h"
#include "WindowChrome.h"
#include "WorkspaceRowAttention.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace brinmoor;

BRINMOOR_APP_TEST_ENVIRONMENT();

using brinmoor::test::waitUntil;

TEST(WindowChrome, mirrors_full_screen_of_the_window_it_is_in_and_only_that_one)
{
    if (QGuiApplication::platformName() != QStringLiteral("offscreen"))
        GTEST_SKIP() << "full screen needs a window manager here";
    QTemporaryDir dir;
    QSettings settings(dir.path() + "/d.ini", QSettings::IniFormat);
    AppModel model(Store(false), &settings);
    AppModel::setInstance(&model);
    int published = 0;
    QObject::connect(&model, &AppModel::isFullscreenChanged, [&] { ++published; });

    QQuickWindow a;
    QQuickWindow b;
    a.show();
    b.show();
    WindowChrome chrome;
    chrome.setParentItem(a.contentItem());
    // Attaching to the same window again adds no second connection.
    chrome.setParentItem(nullptr);
    chrome.setParentItem(a.contentItem());

    a.showFullScreen();
    ASSERT_TRUE(waitUntil([&] { return model.isFullscreen(); }));
    EXPECT_EQ(published, 1);
    EXPECT_TRUE(chrome.fullScreen());

    a.showNormal();
    ASSERT_TRUE(waitUntil([&] { return !model.isFullscreen(); }));
    EXPECT_EQ(published, 2);

    // Moved to another window: the first one no longer reports.
    chrome.setParentItem(b.contentItem());
    a.showFullScreen();
    QTest::qWait(50); // a moment in which the old window must not report
    EXPECT_FALSE(model.isFullscreen());
    b.showFullScreen();
    ASSERT_TRUE(waitUntil([&] { return model.isFullscreen(); }));

    // Zoom does nothing in full screen; toggling leaves it.
    chrome.zoom();
    EXPECT_FALSE(chrome.maximized());
    chrome.toggleFullScreen();
    ASSERT_TRUE(waitUntil([&] { return !model.isFullscreen(); }));
    chrome.zoom();
    EXPECT_TRUE(waitUntil([&] { return chrome.maximized(); }));
    chrome.setParentItem(nullptr);
    AppModel::setInstance(nullptr);
}

TEST(WorkspaceRowAttention, follows_the_sessions_model_row_by_row)
{
    QStandardItemModel sessions;
    sessions.setItemRoleNames({{Qt::UserRole + 1, "state"}});
    const auto add = [&](const QString& state) {
        auto* row = new QStandardItem;
        row->setData(state, Qt::UserRole + 1);
        sessions.appendRow(row);
    };
    WorkspaceRowAttention attention;
    int changes = 0;
    QObject::connect(&attention, &WorkspaceRowAttention::colorHexChanged, [&] { ++changes; });
    attention.setSessions(&sessions);
    EXPECT_EQ(attention.colorHex(), QString());  // an empty workspace needs nobody

    add(QStringLiteral("idle"));
    add(QStringLiteral("stopped"));
    EXPECT_EQ(attention.colorHex(), QString());
    EXPECT_EQ(changes, 0);
    add(QStringLiteral("error"));
    EXPECT_EQ(attention.colorHex(), QStringLiteral("f0524f"));
    EXPECT_FALSE(attention.pulses());
    sessions.item(0)->setData(QStringLiteral("awaiting"), Qt::UserRole + 1);
    EXPECT_EQ(attention.colorHex(), QStringLiteral("f0b429"));
    EXPECT_TRUE(attention.pulses());
    EXPECT_EQ(attention.awaitingCount(), 1);
    EXPECT_EQ(attention.sessionCount(), 3);
    // An unknown state text is no attention.
    sessions.item(0)->setData(QStringLiteral("garbage"), Qt::UserRole + 1);
    EXPECT_EQ(attention.colorHex(), QStringLiteral("f0524f"));
    sessions.removeRows(0, 3);
    EXPECT_EQ(attention.colorHex(), QString());
    EXPECT_EQ(attention.sessionCount(), 0);

    // A model without a state role, and a model that goes away, give no attention.
    QStandardItemModel other;
    other.appendRow(new QStandardItem(QStringLiteral("awaiting")));
    attention.setSessions(&other);
    EXPECT_EQ(attention.colorHex(), QString());
    {
        QStandardItemModel shortLived;
        shortLived.setItemRoleNames({{Qt::UserRole + 1, "state"}});
        auto* row = new QStandardItem;
        row->setData(QStringLiteral("awaiting"), Qt::UserRole + 1);
        shortLived.appendRow(row);
        attention.setSessions(&shortLived);
        EXPECT_EQ(attention.colorHex(), QStringLiteral("f0b429"));
    }
    EXPECT_EQ(attention.colorHex(), QString());
}
