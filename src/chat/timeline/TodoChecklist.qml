pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// An agent's to-do list: a header with the done count and one line per item with its status
// symbol; done items are grey and struck through. An item's hidden characters show as marks: the
// list says what the agent is about to do.
Item {
    id: list

    // A list of todoItem values.
    required property var todos
    readonly property int total: list.todos ? list.todos.length : 0
    readonly property int completed: {
        let n = 0;
        for (let i = 0; i < list.total; ++i)
            if (list.todos[i].status === "completed")
                ++n;
        return n;
    }

    function statusColor(status: string): color {
        if (status === "completed")
            return Theme.hex("5ad07a", 1);
        if (status === "in_progress")
            return Theme.accent;
        return Theme.textFaint;
    }

    implicitHeight: column.implicitHeight + 18

    CardFrame {
        anchors.fill: parent
    }
    Column {
        id: column
        x: 11
        y: 9
        width: list.width - 22
        spacing: 6

        Row {
            spacing: 6
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "checklist"
                size: 10
                color: Theme.accent
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("To-dos")
                font.capitalization: Font.AllUppercase
                font.letterSpacing: 0.4
                font.pointSize: Theme.fontSize(10.5)
                font.weight: Font.DemiBold
                color: Theme.textDim
            }
            Text {
                objectName: "count"
                anchors.verticalCenter: parent.verticalCenter
                text: list.completed + "/" + list.total
                font.family: Theme.monospaceFamily
                font.pointSize: Theme.fontSize(10)
                color: Theme.textFaint
            }
        }
        Repeater {
            model: list.total
            delegate: Row {
                id: item
                required property int index
                readonly property string status: list.todos[item.index].status
                readonly property bool done: item.status === "completed"
                readonly property string content: list.todos[item.index].content
                readonly property string marked: ChatText.markedOutput(item.content)
                spacing: 8
                width: column.width

                SymbolIcon {
                    objectName: "status"
                    y: 1
                    name: item.done ? "checkmark.circle.fill"
                                    : item.status === "in_progress" ? "circle.dotted" : "circle"
                    size: 11
                    color: list.statusColor(item.status)
                }
                Text {
                    objectName: "content"
                    width: column.width - 19
                    text: item.marked !== "" ? item.marked : item.content
                    textFormat: item.marked !== "" ? Text.StyledText : Text.PlainText
                    wrapMode: Text.Wrap
                    font.pointSize: Theme.fontSize(12)
                    font.strikeout: item.done
                    color: item.done ? Theme.textFaint : Theme.text
                }
            }
        }
    }
}
