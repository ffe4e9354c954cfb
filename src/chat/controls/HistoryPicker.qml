pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Chat

// The stored conversations of the pane's folder, eight at a time, for resuming one. It only
// reports the chosen id; the pane resumes and closes the pop-over.
Rectangle {
    id: picker

    required property ClaudeSession session
    signal picked(string conversationId)

    readonly property var list: picker.session ? picker.session.sessionsList : []
    readonly property bool loading: picker.session !== null && picker.session.sessionsLoading
    // The list starts again at one page whenever loading starts or ends or its length changes.
    readonly property string identity: HistoryPaging.identity(picker.loading, picker.list.length)
    property int visibleCount: HistoryPaging.firstPage()

    onIdentityChanged: picker.visibleCount = HistoryPaging.firstPage()
    Component.onCompleted: picker.visibleCount = HistoryPaging.firstPage()

    width: 360
    implicitHeight: column.implicitHeight
    color: Theme.surfaceRaised

    Column {
        id: column
        width: picker.width

        Text {
            leftPadding: 12
            rightPadding: 12
            topPadding: 11
            bottomPadding: 7
            text: "RESUME A CONVERSATION"
            font.pointSize: Theme.fontSize(11)
            font.weight: Font.DemiBold
            font.letterSpacing: 0.4
            color: Theme.textDim
        }
        Row {
            visible: picker.loading
            leftPadding: 12
            bottomPadding: 12
            spacing: 8
            BusyIndicator {
                width: 16
                height: 16
                running: picker.loading
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "Loading…"
                font.pointSize: Theme.fontSize(11.5)
                color: Theme.textDim
            }
        }
        Text {
            objectName: "historyEmpty"
            visible: !picker.loading && picker.list.length === 0
            leftPadding: 12
            rightPadding: 12
            bottomPadding: 12
            text: "No past conversations in this folder."
            font.pointSize: Theme.fontSize(11.5)
            color: Theme.textFaint
        }
        ScrollView {
            id: scroller
            objectName: "historyList"
            visible: !picker.loading && picker.list.length > 0
            width: column.width
            height: visible ? HistoryPaging.listHeight(picker.visibleCount, picker.list.length) : 0
            ScrollBar.vertical.policy: ScrollBar.AsNeeded
            Column {
                width: scroller.width
                spacing: 1
                bottomPadding: 4
                Repeater {
                    model: HistoryPaging.rowsShown(picker.visibleCount, picker.list.length)
                    delegate: Rectangle {
                        id: entry
                        required property int index
                        readonly property var summary: picker.list[entry.index]
                        readonly property bool current: picker.session !== null && picker.session.claudeSessionId !== "" && entry.summary.id === picker.session.claudeSessionId
                        objectName: "historyRow"
                        width: scroller.width
                        height: 33
                        color: entryMouse.containsMouse ? Theme.hoverFill : "transparent"
                        Row {
                            x: 10
                            anchors.verticalCenter: parent.verticalCenter
                            spacing: 8
                            SymbolIcon {
                                anchors.verticalCenter: parent.verticalCenter
                                name: entry.current ? "checkmark.circle.fill" : "bubble.left"
                                size: 11
                                color: entry.current ? Theme.accent : Theme.textFaint
                            }
                            // A past conversation's title, its hidden characters as marks.
                            NameText {
                                objectName: "historyTitle"
                                anchors.verticalCenter: parent.verticalCenter
                                width: entry.width - 20 - 19
                                name: entry.summary.summary
                                elide: Text.ElideRight
                                maximumLineCount: 1
                                font.pointSize: Theme.fontSize(12)
                                color: Theme.text
                            }
                        }
                        MouseArea {
                            id: entryMouse
                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            onClicked: picker.picked(entry.summary.id)
                        }
                    }
                }
                Rectangle {
                    objectName: "loadMore"
                    visible: HistoryPaging.hasMore(picker.visibleCount, picker.list.length)
                    width: scroller.width
                    height: 33
                    color: "transparent"
                    Row {
                        x: 10
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 6
                        SymbolIcon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "arrow.down.circle"
                            size: 11
                            color: Theme.accent
                        }
                        Text {
                            objectName: "loadMoreText"
                            anchors.verticalCenter: parent.verticalCenter
                            text: HistoryPaging.loadMoreText(picker.visibleCount, picker.list.length)
                            font.pointSize: Theme.fontSize(11.5)
                            font.weight: Font.Medium
                            color: Theme.accent
                        }
                    }
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: picker.visibleCount = HistoryPaging.nextPage(picker.visibleCount)
                    }
                }
            }
        }
    }
}
