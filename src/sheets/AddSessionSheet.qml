pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// The panel that adds one pane to the selected workspace: a chat (Claude or Codex, with the
// provider tool's status) or a terminal, in a folder taken from the recent folders or chosen.
// It keeps only its three inputs and acts through AppModel; every showing starts afresh.
Item {
    id: sheet
    objectName: "addSessionSheet"

    // The chosen project folder; empty means none.
    property string selectedDir: ""
    property string kind: "chat"
    property string provider: "claude"
    // The recent folders offered (the model's; a test may hand its own).
    property var recents: AppModel.recents

    readonly property var dirOptions: SheetLogic.dirOptionsFor(sheet.recents, sheet.selectedDir)

    function open() {
        if (sheet.selectedDir === "")
            return;
        const q = sheet.kind === "chat" ? sheet.provider : "claude";
        if (AppModel.addSession(sheet.kind, null, sheet.selectedDir, false, q))
            AppModel.activeSheet = "";
    }
    function checkProvider() {
        if (sheet.kind !== "chat")
            return;
        if (sheet.provider === "claude")
            AppModel.detectClaude();
        else
            AppModel.detectCodex();
    }
    // The chooser opens at the selected folder, else at the most recent one.
    function browse() {
        folderChooser.openAt(FolderChooserLogic.start(sheet.selectedDir, sheet.recents));
    }

    implicitWidth: 472
    implicitHeight: column.implicitHeight
    width: 472
    height: column.implicitHeight
    focus: true

    // Escape in the sheet closes it, also from a focused control.
    Keys.onEscapePressed: AppModel.activeSheet = ""
    Keys.onReturnPressed: sheet.open()
    Keys.onEnterPressed: sheet.open()
    // Tab and Shift+Tab stay in the sheet (see SheetTabFence).
    Keys.onTabPressed: event => {
        ((event.modifiers & Qt.ShiftModifier) ? tabEnd : tabStart).enter();
        event.accepted = true;
    }
    Keys.onBacktabPressed: event => {
        tabEnd.enter();
        event.accepted = true;
    }

    Component.onCompleted: {
        if (sheet.selectedDir === "")
            sheet.selectedDir = SheetLogic.preselectedDir(sheet.recents);
        sheet.checkProvider();
    }
    onProviderChanged: sheet.checkProvider()

    SheetTabFence {
        id: tabStart
        sheet: sheet
        other: tabEnd
        atEnd: false
    }
    Rectangle {
        anchors.fill: parent
        radius: 14
        color: Theme.surfaceRaised
        border.width: 1
        border.color: Theme.borderStrong
    }
    // Clicks inside the panel stay in it.
    MouseArea {
        anchors.fill: parent
    }

    Column {
        id: column
        width: sheet.width

        // Header: title, subtitle, close button.
        Item {
            width: parent.width
            height: headerTexts.implicitHeight + 30
            Column {
                id: headerTexts
                x: 18
                y: 16
                spacing: 2
                Text {
                    text: "Add a session"
                    textFormat: Text.PlainText
                    color: Theme.textStrong
                    font.pointSize: Theme.fontSize(14.5)
                    font.weight: Font.DemiBold
                }
                Text {
                    objectName: "subtitle"
                    text: sheet.kind === "chat" ? "Opens a new " + (sheet.provider === "codex" ? "Codex" : "Claude") + " chat pane in the grid"
                                                : "Opens a new terminal pane in the grid"
                    textFormat: Text.PlainText
                    color: Theme.textDim
                    font.pointSize: Theme.fontSize(11.5)
                }
            }
            Rectangle {
                objectName: "closeButton"
                x: parent.width - 18 - width
                y: 16
                width: 26
                height: 26
                radius: 7
                color: Theme.pair("15171d", "ffffff", 1)
                SymbolIcon {
                    anchors.centerIn: parent
                    name: "xmark"
                    size: 12
                    color: Theme.textDim
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: AppModel.activeSheet = ""
                }
            }
        }

        // Session type.
        Column {
            x: 18
            width: parent.width - 36
            topPadding: 16
            spacing: 6
            SectionLabel {
                text: "Session type"
            }
            Row {
                width: parent.width
                spacing: 8
                ChoiceChip {
                    objectName: "chatChip"
                    width: (parent.width - 8) / 2
                    symbol: "sparkle"
                    title: "Chat"
                    subtitle: "Native AI chat"
                    selected: sheet.kind === "chat"
                    onClicked: sheet.kind = "chat"
                }
                ChoiceChip {
                    objectName: "terminalChip"
                    width: (parent.width - 8) / 2
                    symbol: "terminal"
                    title: "Terminal"
                    subtitle: "Raw shell"
                    selected: sheet.kind === "terminal"
                    onClicked: sheet.kind = "terminal"
                }
            }
        }

        // Provider and its tool's status, for a chat only.
        Column {
            objectName: "providerSection"
            visible: sheet.kind === "chat"
            x: 18
            width: parent.width - 36
            topPadding: 14
            spacing: 6
            SectionLabel {
                text: "Provider"
            }
            Row {
                width: parent.width
                spacing: 8
                ChoiceChip {
                    objectName: "claudeChip"
                    width: (parent.width - 8) / 2
                    provider: "claude"
                    title: "Claude"
                    subtitle: "Anthropic Agent SDK"
                    selected: sheet.provider === "claude"
                    onClicked: sheet.provider = "claude"
                }
                ChoiceChip {
                    objectName: "codexChip"
                    width: (parent.width - 8) / 2
                    provider: "codex"
                    title: "Codex"
                    subtitle: "OpenAI Codex CLI"
                    selected: sheet.provider === "codex"
                    onClicked: sheet.provider = "codex"
                }
            }
            Item {
                width: parent.width
                height: 6
            }
            ClaudeStatusRow {
                visible: sheet.provider === "claude"
                width: parent.width
                info: AppModel.claude
            }
            CodexStatusRow {
                visible: sheet.provider === "codex"
                width: parent.width
                info: AppModel.codex
            }
        }

        // Project directory: recent folders, then the chooser.
        Column {
            x: 18
            width: parent.width - 36
            topPadding: 18
            spacing: 6
            SectionLabel {
                text: "Project directory"
            }
            Repeater {
                model: sheet.dirOptions
                delegate: FolderRow {
                    required property string modelData
                    objectName: "dirRow"
                    width: parent.width
                    path: modelData
                    selected: modelData === sheet.selectedDir
                    onClicked: sheet.selectedDir = modelData
                }
            }
            Item {
                width: parent.width
                height: browseRow.height + 2
                Rectangle {
                    id: browseRow
                    objectName: "browseRow"
                    y: 2
                    width: parent.width
                    height: browseText.implicitHeight + 18
                    radius: 9
                    color: "transparent"
                    // The dashed edge: 3 drawn, 3 left out.
                    Canvas {
                        id: dashes
                        anchors.fill: parent
                        property color ink: Theme.borderStrong
                        onInkChanged: requestPaint()
                        onWidthChanged: requestPaint()
                        onPaint: {
                            const ctx = getContext("2d");
                            ctx.reset();
                            ctx.strokeStyle = dashes.ink;
                            ctx.lineWidth = 1;
                            ctx.setLineDash([3, 3]);
                            ctx.beginPath();
                            ctx.roundedRect(0.5, 0.5, width - 1, height - 1, 9, 9);
                            ctx.stroke();
                        }
                    }
                    Row {
                        x: 11
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 9
                        SymbolIcon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "plus"
                            size: 11
                            color: Theme.textDim
                        }
                        Text {
                            id: browseText
                            objectName: "browseText"
                            text: sheet.recents.length > 0 ? "Browse for another folder…" : "Choose a folder…"
                            textFormat: Text.PlainText
                            color: Theme.textDim
                            font.pointSize: Theme.fontSize(12)
                            font.weight: Font.Medium
                        }
                    }
                    MouseArea {
                        anchors.fill: parent
                        onClicked: sheet.browse()
                    }
                }
            }
        }

        // Footer: hint, Cancel, Open session.
        Item {
            width: parent.width
            height: openButton.implicitHeight + 34
            Row {
                x: 18
                y: 16
                width: parent.width - 36
                height: openButton.implicitHeight
                spacing: 9
                Text {
                    objectName: "hint"
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - cancelButton.width - openButton.width - 18
                    text: sheet.selectedDir === "" ? "pick a folder" : "⏎ to open"
                    textFormat: Text.PlainText
                    color: Theme.textFaint
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(11)
                }
                SecondaryButton {
                    id: cancelButton
                    objectName: "cancelButton"
                    anchors.verticalCenter: parent.verticalCenter
                    title: "Cancel"
                    onClicked: AppModel.activeSheet = ""
                }
                PrimaryButton {
                    id: openButton
                    objectName: "openButton"
                    anchors.verticalCenter: parent.verticalCenter
                    title: "Open session"
                    opacity: sheet.selectedDir === "" ? 0.5 : 1
                    onClicked: sheet.open()
                }
            }
        }
    }

    FolderChooser {
        id: folderChooser
        onChosen: path => sheet.selectedDir = path
    }
    SheetTabFence {
        id: tabEnd
        sheet: sheet
        other: tabStart
        atEnd: true
    }
}
