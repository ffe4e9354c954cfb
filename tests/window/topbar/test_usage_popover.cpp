// The usage popover in its four states, rendered offscreen and saved as PNGs under the build
// folder (usage_popover_<state>.png) for looking at.
#include "UsageService.h"
#include "support/OffscreenApp.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)

using namespace brinmoor;

namespace {

// A service that never finds its sidecar and never schedules anything: its fields are set by hand.
std::unique_ptr<UsageService> service(bool searchFails)
{
    auto s = std::make_unique<UsageService>(ChatProvider::Claude);
    UsageSchedule none;
    none.after = [](int, QObject*, std::function<void()>) {};
    none.every = none.after;
    s->setSchedule(none);
    SidecarTools tools;
    tools.findNode = [searchFails](QObject*, std::function<void(std::optional<QString>)> done) {
        if (searchFails)
            done(std::nullopt);
    };
    s->setTools(tools);
    return s;
}

// Opens the popover on `s` in an offscreen window, saves the grab, and returns which body it shows.
QString show(UsageService* s, const char* name, QString* email = nullptr)
{
    test::offscreenApp("window_usage_popover");
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    QQmlComponent c(&engine);
    c.setData(R"(
        import QtQuick
        import Brinmoor.Agent
        import Brinmoor.Window
        Item {
            id: root
            required property UsageService svc
            property alias popover: pop
            width: 360; height: 330
            UsagePopover { id: pop; x: 10; y: 10; service: root.svc; provider: "claude" }
        })", QUrl(QStringLiteral("qrc:/usage_popover_test.qml")));
    std::unique_ptr<QObject> obj(c.createWithInitialProperties({{QStringLiteral("svc"), QVariant::fromValue(s)}}));
    if (!obj)
        return c.errorString();
    QQuickWindow window;
    window.resize(360, 330);
    window.setColor(Qt::black);
    qobject_cast<QQuickItem*>(obj.get())->setParentItem(window.contentItem());
    window.show();
    QObject* pop = obj->property("popover").value<QObject*>();
    QMetaObject::invokeMethod(pop, "open");
    QCoreApplication::processEvents();
    window.grabWindow().save(QStringLiteral("usage_popover_%1.png").arg(QString::fromUtf8(name)));
    if (email) {
        // The popup's items hang in the window's overlay: looked for through the item tree.
        std::function<QQuickItem*(QQuickItem*)> find = [&](QQuickItem* i) -> QQuickItem* {
            if (i->objectName() == QLatin1String("usageEmail"))
                return i;
            for (QQuickItem* child : i->childItems())
                if (QQuickItem* found = find(child))
                    return found;
            return nullptr;
        };
        QQuickItem* line = find(window.contentItem());
        *email = line ? line->property("text").toString() : QStringLiteral("(no e-mail line)");
    }
    return pop->property("body").toString();
}

} // namespace

TEST(UsagePopover, loading_empty_not_available_and_metrics)
{
    auto loading = service(false);
    loading->start();  // the search never ends: loading with nothing known
    EXPECT_EQ(show(loading.get(), "loading"), QStringLiteral("loading"));

    auto empty = service(false);
    EXPECT_EQ(show(empty.get(), "empty"), QStringLiteral("empty"));

    auto unavailable = service(true);
    unavailable->refresh();
    EXPECT_EQ(show(unavailable.get(), "unavailable"), QStringLiteral("unavailable"));

    // Metrics win over loading and over "not available".
    auto full = service(false);
    full->start();
    UsageMetric a, b, c, d;
    a.label = QStringLiteral("Current session");
    a.percent = 0;
    a.resetsAt = QDateTime::currentDateTimeUtc().addSecs(3 * 3600 + 125).toString(Qt::ISODate);
    b.label = QStringLiteral("Weekly (all models)");
    b.percent = 69.5;
    c.label = QStringLiteral("Weekly (Opus)");
    c.percent = 89.6;
    c.resetsAt = QStringLiteral("2025-01-02");
    d.label = QStringLiteral("Extra");
    d.percent = 150;
    full->applyUsage({a, b, c, d}, false, QStringLiteral("dev@example.com"), QStringLiteral("max plan"));
    EXPECT_EQ(show(full.get(), "metrics"), QStringLiteral("metrics"));
}

// The account's e-mail as the service reports it: its hidden characters show as marks, so an
// override cannot make it read as another address.
TEST(UsagePopover, the_account_s_hidden_characters_show_as_marks)
{
    auto full = service(false);
    full->start();
    UsageMetric a;
    a.label = QStringLiteral("Current session");
    a.percent = 10;
    full->applyUsage({a}, false, QString::fromUtf8("dev@example.com\u202Emoc.live@"), QStringLiteral("max plan"));
    QString email;
    EXPECT_EQ(show(full.get(), "hidden_email", &email), QStringLiteral("metrics"));
    EXPECT_TRUE(email.contains(QStringLiteral("&lt;U+202E&gt;"))) << email.toStdString();
    EXPECT_FALSE(email.contains(QChar(0x202E))) << email.toStdString();
}
