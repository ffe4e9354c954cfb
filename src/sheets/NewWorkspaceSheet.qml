pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// The panel that names a new workspace and picks its colour tag. "Create" (or Return anywhere in
// the sheet) adds it through AppModel, which selects it; a blank name gives "Untitled".
Item {
    id: sheet
    objectName: "newWorkspaceSheet"

    // The name to create: the field's text with each mark the character it stands for.
    property string name: ""
    property string colorHex: "5b8cee"
    // The six colour tags offered, in order.
    readonly property var colors: ["5b8cee", "c98a3a", "4aa37e", "9a7fc0", "c77f7f", "646a73"]

    function create() {
        // Text set rather than typed counts as typed.
        if (nameField.text !== nameEdit.shown) {
            nameEdit.edit(nameField.text, nameField.cursorPosition);
            sheet.name = nameEdit.value;
        }
        if (AppModel.addWorkspace(SheetLogic.workspaceNameFor(sheet.name), sheet.colorHex))
            AppModel.activeSheet = "";
    }

    implicitWidth: 332
    implicitHeight: column.implicitHeight
    width: 332
    height: column.implicitHeight

    // Escape in the sheet closes it, also from the name field (keys the field leaves come here);
    // Return creates wherever the keyboard is in the sheet, as the footer's hint says.
    Keys.onEscapePressed: AppModel.activeSheet = ""
    Keys.onReturnPressed: sheet.create()
    Keys.onEnterPressed: sheet.create()
    // Tab and Shift+Tab stay in the sheet (see SheetTabFence).
    Keys.onTabPressed: event => {
        ((event.modifiers & Qt.ShiftModifier) ? tabEnd : tabStart).enter();
        event.accepted = true;
    }
    Keys.onBacktabPressed: event => {
        tabEnd.enter();
        event.accepted = true;
    }

    SheetTabFence {
        id: tabStart
        sheet: sheet
        other: tabEnd
        atEnd: false
    }

    Rectangle {
        anchors.fill: parent
        radius: 13
        color: Theme.surfaceRaised
        border.width: 1
        border.color: Theme.borderStrong
    }
    MouseArea {
        anchors.fill: parent
    }

    Column {
        id: column
        width: sheet.width

        // Header.
        Item {
            width: parent.width
            height: 14 + 23 + 12
            Text {
                x: 16
                anchors.verticalCenter: closeButton.verticalCenter
                text: "New workspace"
                textFormat: Text.PlainText
                color: Theme.textStrong
                font.pointSize: Theme.fontSize(13.5)
                font.weight: Font.DemiBold
            }
            Rectangle {
                id: closeButton
                objectName: "closeButton"
                x: parent.width - 16 - width
                y: 14
                width: 23
                height: 23
                radius: 6
                color: Theme.hex("1d2027", 1)
                SymbolIcon {
                    anchors.centerIn: parent
                    name: "xmark"
                    size: 11
                    color: Theme.textDim
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: AppModel.activeSheet = ""
                }
            }
        }

        // Form: the name, then the colour tag.
        Column {
            x: 16
            width: parent.width - 32
            spacing: 16
            Column {
                width: parent.width
                spacing: 7
                SectionLabel {
                    text: "Name"
                    size: 10.5
                    tracking: 0.5
                }
                TextField {
                    id: nameField
                    objectName: "nameField"
                    // The sheet opens ready for typing the name.
                    focus: true
                    width: parent.width
                    onTextEdited: {
                        // A hidden character typed or pasted shows as its mark, and is kept.
                        nameEdit.edit(nameField.text, nameField.cursorPosition);
                        sheet.name = nameEdit.value;
                        if (nameField.text !== nameEdit.shown)
                            nameField.text = nameEdit.shown;
                        // Also where the text stayed: the room for marks (the maximum length)
                        // follows the marks, and a new maximum puts the cursor at the end.
                        nameField.cursorPosition = nameEdit.cursor;
                    }
                    // Room for the marks, which are longer than what they stand for.
                    maximumLength: AppModel.maxNameLength + nameEdit.shown.length - nameEdit.value.length
                    // Return goes on to the sheet (a text field lets it through), which creates.
                    placeholderText: "Q3 Launch"
                    placeholderTextColor: Theme.textFaint
                    color: Theme.textStrong
                    selectionColor: Theme.hex("5b8cdd", 0.45)
                    font.pointSize: Theme.fontSize(13)
                    leftPadding: 11
                    rightPadding: 11
                    topPadding: 9
                    bottomPadding: 9
                    background: Rectangle {
                        radius: 9
                        color: Theme.surface
                        border.width: 1
                        border.color: Theme.accent
                    }
                    MarkedFieldMarks {
                        field: nameField
                        edit: nameEdit
                    }
                    // Which stretches of the field are the marks of hidden characters.
                    MarkedEdit {
                        id: nameEdit
                        field: nameField
                    }
                }
            }
            Column {
                width: parent.width
                spacing: 9
                Row {
                    spacing: 5
                    SectionLabel {
                        anchors.verticalCenter: parent.verticalCenter
                        text: "Color tag"
                        size: 10.5
                        tracking: 0.5
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: "· optional"
                        textFormat: Text.PlainText
                        color: Theme.textFaint
                        font.pointSize: Theme.fontSize(10)
                    }
                }
                Row {
                    spacing: 10
                    Repeater {
                        model: sheet.colors
                        delegate: Item {
                            id: swatch
                            required property string modelData
                            objectName: "swatch_" + swatch.modelData
                            width: 22
                            height: 22
                            Rectangle {
                                anchors.fill: parent
                                radius: 7
                                color: Theme.hex(swatch.modelData, 1)
                            }
                            // The ring of the chosen tag: 2 wide, 1 clear of the swatch; it
                            // grows the drawing, not the layout.
                            Rectangle {
                                objectName: "ring"
                                anchors.fill: parent
                                anchors.margins: -3
                                radius: 7
                                color: "transparent"
                                visible: sheet.colorHex === swatch.modelData
                                border.width: 2
                                border.color: Theme.hex(swatch.modelData, 1)
                            }
                            MouseArea {
                                anchors.fill: parent
                                onClicked: sheet.colorHex = swatch.modelData
                            }
                        }
                    }
                }
            }
        }

        // Footer.
        Item {
            width: parent.width
            height: createButton.implicitHeight + 34
            Row {
                x: 16
                y: 18
                width: parent.width - 32
                height: createButton.implicitHeight
                spacing: 9
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - cancelButton.width - createButton.width - 18
                    text: "⏎"
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
                    id: createButton
                    objectName: "createButton"
                    anchors.verticalCenter: parent.verticalCenter
                    title: "Create"
                    onClicked: sheet.create()
                }
            }
        }
    }
    SheetTabFence {
        id: tabEnd
        sheet: sheet
        other: tabStart
        atEnd: true
    }
}
