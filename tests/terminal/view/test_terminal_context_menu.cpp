// The terminal's context menu in QML: a right click opens it; Copy follows the selection.
#include "TerminalView.h"
#include "support/TestApp.h"

#include <QMouseEvent>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_TerminalPlugin)

TEST(TerminalContextMenu, right_click_opens_copy_paste_select_all)
{
    ensureGuiApp();
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/")); // the modules' qmldir files live in resources
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQuick
        import QtQuick.Controls.Basic
        import Brinmoor.Terminal
        ApplicationWindow {
            width: 400; height: 200; visible: true
            property alias view: tv
            property alias menu: menu
            TerminalView { id: tv; anchors.fill: parent }
            TerminalContextMenu { id: menu; view: tv }
        })", QUrl("qrc:/test/Menu.qml"));
    std::unique_ptr<QObject> root(component.create());
    ASSERT_TRUE(root) << component.errorString().toStdString();
    auto* view = root->property("view").value<TerminalView*>();
    auto* menu = root->property("menu").value<QObject*>();
    ASSERT_NE(view, nullptr);
    ASSERT_NE(menu, nullptr);
    auto* window = qobject_cast<QQuickWindow*>(root.get());
    ASSERT_TRUE(waitUntil([&] { return window->isExposed(); }));

    view->feed(QByteArray("hello"));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 10), QPointF(20, 10), QPointF(20, 10), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &press);
    ASSERT_TRUE(waitUntil([&] { return menu->property("visible").toBool(); }, 3000));
    EXPECT_EQ(menu->property("count").toInt(), 3);
    auto item = [&](int i) {
        QQuickItem* it = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, it), Q_ARG(int, i));
        return static_cast<QObject*>(it);
    };
    ASSERT_NE(item(0), nullptr);
    EXPECT_EQ(item(0)->property("text").toString(), "Copy");
    EXPECT_FALSE(item(0)->property("enabled").toBool()) << "nothing selected";
    EXPECT_EQ(item(2)->property("text").toString(), "Select All");
    QMetaObject::invokeMethod(item(2), "triggered");
    EXPECT_TRUE(view->selectionActive());
    EXPECT_TRUE(item(0)->property("enabled").toBool());
}
