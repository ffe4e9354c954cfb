pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// The app's folder chooser, over the whole window and drawn in its palette: the folders of one
// folder (a click highlights one, a double-click goes into it), a field to type or paste a path
// (Return goes there; Return again, or "Choose", chooses), the enclosing folder, a new folder made
// here, and hidden folders on request. "Choose" chooses the highlighted folder, or the folder shown
// when none is: a folder holding only hidden folders can be chosen too. Names and the path show
// their hidden characters as marks (in the path field, written "<U+202E>"): a folder's name cannot
// make it read as another.
Popup {
    id: chooser
    objectName: "folderChooser"

    // The folder whose folders are listed.
    property string folder: ""
    // The highlighted folder's name in it; empty for none.
    property string picked: ""
    property bool showHidden: false
    // The new folder's name field is shown.
    property bool naming: false
    // What went wrong with the last typed path, "Choose" or new folder; empty when nothing did.
    property string problem: ""
    readonly property string target: chooser.picked !== "" ? FolderChooserLogic.joinPath(chooser.folder, chooser.picked) : chooser.folder
    readonly property alias pathField: pathField
    readonly property alias nameField: nameField
    readonly property alias folders: folders

    signal chosen(string path)

    function openAt(path: string) {
        chooser.showHidden = false;
        const same = chooser.folder === path;
        chooser.go(path);
        // Closing dropped the listing; the same folder again is read again.
        if (same)
            folders.refresh();
        chooser.open();
    }
    // Shows the folders of `path`; with a problem instead, stays where it is and says why.
    function go(path: string): bool {
        const why = FolderChooserLogic.folderProblem(path);
        if (why !== "") {
            chooser.problem = why;
            return false;
        }
        chooser.folder = path;
        chooser.picked = "";
        chooser.problem = "";
        chooser.naming = false;
        pathEdit.original = path;
        pathField.text = pathEdit.shown;
        return true;
    }
    function goUp() {
        const up = FolderChooserLogic.parentOf(chooser.folder);
        if (up === "")
            return;
        const left = chooser.folder.substring(chooser.folder.lastIndexOf("/") + 1);
        // The folder just left stays highlighted, as the way back down.
        if (chooser.go(up))
            chooser.picked = left;
    }
    // Return in the path field: a new path is gone to; the path shown already is chosen.
    function submitTyped() {
        // The marks stand for the characters of the folder shown; everything else as typed.
        pathEdit.edit(pathField.text, pathField.cursorPosition);
        const typed = pathEdit.value;
        const path = FolderChooserLogic.resolve(typed, chooser.folder);
        if (path === chooser.folder || path === "")
            chooser.choose();
        else
            chooser.go(path);
    }
    function choose() {
        const why = FolderChooserLogic.folderProblem(chooser.target);
        if (why !== "") {
            chooser.problem = why;
            return;
        }
        chooser.chosen(chooser.target);
        chooser.close();
    }
    function makeFolder() {
        // Text set rather than typed counts as typed.
        if (nameField.text !== folderNameEdit.shown)
            folderNameEdit.edit(nameField.text, nameField.cursorPosition);
        const why = FolderChooserLogic.makeFolder(chooser.folder, folderNameEdit.value);
        if (why !== "") {
            chooser.problem = why;
            return;
        }
        chooser.picked = FolderChooserLogic.folderName(folderNameEdit.value);
        chooser.problem = "";
        chooser.naming = false;
        pathField.forceActiveFocus();
        folders.refresh();
    }
    function startNaming() {
        folderNameEdit.original = "";
        nameField.text = "";
        chooser.problem = "";
        chooser.naming = true;
        nameField.forceActiveFocus();
    }
    function stopNaming() {
        chooser.naming = false;
        chooser.problem = "";
        pathField.forceActiveFocus();
    }
    function indexOfPicked(): int {
        return chooser.picked === "" ? -1 : folders.indexOf(chooser.picked);
    }
    // Up and Down in the path field move the highlight through the list.
    function step(delta: int) {
        if (folders.count === 0)
            return;
        const at = chooser.indexOfPicked();
        const next = at < 0 ? (delta > 0 ? 0 : folders.count - 1) : Math.max(0, Math.min(folders.count - 1, at + delta));
        chooser.picked = folders.nameAt(next);
        list.positionViewAtIndex(next, ListView.Contain);
    }
    function reveal() {
        const at = chooser.indexOfPicked();
        if (at >= 0)
            list.positionViewAtIndex(at, ListView.Contain);
    }

    parent: Overlay.overlay
    anchors.centerIn: Overlay.overlay
    width: 540
    height: Math.min(480, (Overlay.overlay ? Overlay.overlay.height : 480) - 40)
    padding: 0
    modal: true
    focus: true
    // Only Escape, "Cancel" and the close button dismiss it: a stray click beside it loses nothing.
    closePolicy: Popup.CloseOnEscape
    Overlay.modal: Rectangle {
        color: Qt.rgba(0, 0, 0, 0.35)
    }
    // A huge folder's listing is not kept while nothing shows it.
    onClosed: folders.drop()
    onOpened: {
        pathField.forceActiveFocus();
        pathField.selectAll();
    }

    background: Rectangle {
        radius: 14
        color: Theme.surfaceRaised
        border.width: 1
        border.color: Theme.borderStrong
    }

    FolderListing {
        id: folders
        folder: chooser.folder
        showHidden: chooser.showHidden
        onCountChanged: chooser.reveal()
    }

    // Header: title and close button.
    Text {
        id: title
        x: 18
        y: 16
        text: "Choose a project folder"
        textFormat: Text.PlainText
        color: Theme.textStrong
        font.pointSize: Theme.fontSize(14.5)
        font.weight: Font.DemiBold
    }
    Rectangle {
        objectName: "chooserCloseButton"
        x: parent.width - 18 - width
        y: 12
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
            onClicked: chooser.close()
        }
    }

    // The enclosing folder, and the path of the one shown.
    Rectangle {
        id: upButton
        objectName: "upButton"
        x: 18
        y: 50
        width: 30
        height: 30
        radius: 8
        readonly property bool usable: FolderChooserLogic.parentOf(chooser.folder) !== ""
        color: Theme.pair("15171d", "ffffff", 1)
        border.width: 1
        border.color: Theme.borderControl
        opacity: upButton.usable ? 1 : 0.4
        SymbolIcon {
            anchors.centerIn: parent
            name: "chevron.up"
            size: 12
            color: Theme.textDim
        }
        MouseArea {
            anchors.fill: parent
            onClicked: chooser.goUp()
        }
    }
    Rectangle {
        id: pathBox
        anchors.left: upButton.right
        anchors.leftMargin: 8
        anchors.right: parent.right
        anchors.rightMargin: 18
        y: 50
        height: 30
        radius: 8
        color: Theme.pair("0f1116", "f4f5f8", 1)
        border.width: 1
        border.color: pathField.activeFocus ? Theme.accent : Theme.borderControl
        TextInput {
            id: pathField
            objectName: "pathField"
            anchors.fill: parent
            anchors.leftMargin: 10
            anchors.rightMargin: 10
            verticalAlignment: TextInput.AlignVCenter
            clip: true
            selectByMouse: true
            color: Theme.textStrong
            selectionColor: Theme.hex("5b8cdd", 0.35)
            selectedTextColor: pathField.color
            font.family: Theme.monospaceFamily
            font.pointSize: Theme.fontSize(12)
            Keys.onReturnPressed: chooser.submitTyped()
            Keys.onEnterPressed: chooser.submitTyped()
            Keys.onUpPressed: chooser.step(-1)
            Keys.onDownPressed: chooser.step(1)
            onTextEdited: {
                pathEdit.edit(pathField.text, pathField.cursorPosition);
                if (pathField.text !== pathEdit.shown) {
                    pathField.text = pathEdit.shown;
                    pathField.cursorPosition = pathEdit.cursor;
                }
            }
            MarkedFieldMarks {
                field: pathField
                edit: pathEdit
            }
            // Which stretches of the path are the marks of the folder's hidden characters.
            MarkedEdit {
                id: pathEdit
                field: pathField
            }
        }
    }

    // The new folder's name, while it is being made.
    Item {
        id: namingRow
        objectName: "namingRow"
        x: 18
        y: pathBox.y + pathBox.height + 8
        width: parent.width - 36
        height: chooser.naming ? 30 : 0
        visible: chooser.naming
        Rectangle {
            anchors.left: parent.left
            anchors.right: createButton.left
            anchors.rightMargin: 8
            height: 30
            radius: 8
            color: Theme.pair("0f1116", "f4f5f8", 1)
            border.width: 1
            border.color: nameField.activeFocus ? Theme.accent : Theme.borderControl
            TextInput {
                id: nameField
                objectName: "newFolderName"
                anchors.fill: parent
                anchors.leftMargin: 10
                anchors.rightMargin: 10
                verticalAlignment: TextInput.AlignVCenter
                clip: true
                selectByMouse: true
                color: Theme.textStrong
                selectionColor: Theme.hex("5b8cdd", 0.35)
                selectedTextColor: nameField.color
                font.pointSize: Theme.fontSize(12.5)
                Keys.onReturnPressed: chooser.makeFolder()
                Keys.onEnterPressed: chooser.makeFolder()
                // Escape here gives up the new folder, not the whole chooser.
                Keys.onShortcutOverride: event => event.accepted = event.key === Qt.Key_Escape
                Keys.onEscapePressed: chooser.stopNaming()
                onTextEdited: {
                    // A hidden character typed or pasted shows as its mark, and is kept.
                    folderNameEdit.edit(nameField.text, nameField.cursorPosition);
                    if (nameField.text !== folderNameEdit.shown) {
                        nameField.text = folderNameEdit.shown;
                        nameField.cursorPosition = folderNameEdit.cursor;
                    }
                }
                MarkedFieldMarks {
                    field: nameField
                    edit: folderNameEdit
                }
                // Which stretches of the new folder's name are the marks of hidden characters.
                MarkedEdit {
                    id: folderNameEdit
                    field: nameField
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: nameField.text === ""
                    text: "Name of the new folder"
                    textFormat: Text.PlainText
                    color: Theme.textFaint
                    font: nameField.font
                }
            }
        }
        SecondaryButton {
            id: createButton
            objectName: "createFolderButton"
            anchors.right: parent.right
            height: 30
            title: "Create"
            onClicked: chooser.makeFolder()
        }
    }

    // The folders.
    Rectangle {
        id: listBox
        x: 18
        y: namingRow.y + namingRow.height + (chooser.naming ? 8 : 0)
        width: parent.width - 36
        height: footer.y - 8 - (chooser.problem === "" ? 0 : problemText.height + 6) - y
        radius: 9
        color: Theme.pair("0f1116", "f4f5f8", 1)
        border.width: 1
        border.color: Theme.borderControl
        clip: true

        ListView {
            id: list
            objectName: "folderList"
            anchors.fill: parent
            anchors.margins: 4
            // The listing itself: rows are asked for as they are drawn, no array of names is made.
            model: folders
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {
                policy: ScrollBar.AsNeeded
            }
            delegate: Rectangle {
                id: entry
                required property string name
                required property bool hidden
                required property int index
                readonly property string fileName: entry.name
                readonly property bool current: entry.fileName === chooser.picked
                objectName: "folderEntry"
                width: ListView.view.width
                height: 28
                radius: 6
                color: entry.current ? Theme.pair("23262f", "dbe5f6", 1) : entryMouse.containsMouse ? Theme.hoverFill : "transparent"
                border.width: entry.current ? 1 : 0
                border.color: Theme.accent
                SymbolIcon {
                    id: entryIcon
                    x: 9
                    anchors.verticalCenter: parent.verticalCenter
                    name: "folder.fill"
                    size: 12
                    color: entry.current ? Theme.accent : Theme.textDim
                }
                NameText {
                    objectName: "folderName"
                    anchors.left: entryIcon.right
                    anchors.leftMargin: 9
                    anchors.right: parent.right
                    anchors.rightMargin: 9
                    anchors.verticalCenter: parent.verticalCenter
                    name: entry.fileName
                    elide: Text.ElideMiddle
                    // Hidden folders a little fainter, as the ones usually left alone.
                    color: entry.current ? Theme.textStrong : entry.hidden ? Theme.textDim : Theme.text
                    font.pointSize: Theme.fontSize(12.5)
                }
                MouseArea {
                    id: entryMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    onClicked: chooser.picked = entry.fileName
                    onDoubleClicked: chooser.go(FolderChooserLogic.joinPath(chooser.folder, entry.fileName))
                }
            }
        }
        Column {
            objectName: "emptyFolder"
            anchors.centerIn: parent
            visible: !folders.loading && folders.count === 0
            spacing: 6
            Text {
                objectName: "emptyFolderText"
                anchors.horizontalCenter: parent.horizontalCenter
                // A folder that could not be read is not said to be empty.
                text: folders.problem !== "" ? folders.problem : "No folders in this folder"
                textFormat: Text.PlainText
                color: folders.problem !== "" ? Theme.red : Theme.textFaint
                font.pointSize: Theme.fontSize(12)
            }
            Text {
                objectName: "showHiddenHint"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: folders.hiddenCount > 0 && folders.problem === ""
                text: folders.hiddenCount === 1 ? "Show 1 hidden folder" : "Show " + folders.hiddenCount + " hidden folders"
                textFormat: Text.PlainText
                color: Theme.accent
                font.pointSize: Theme.fontSize(12)
                font.weight: Font.Medium
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: chooser.showHidden = true
                }
            }
        }
    }
    // Its sentence may name a path in isolates: measured by its own font (MeasuredText).
    MeasuredText {
        id: problemText
        objectName: "chooserProblem"
        x: 18
        y: listBox.y + listBox.height + 6
        width: parent.width - 36
        height: 16
        verticalAlignment: Text.AlignVCenter
        visible: chooser.problem !== ""
        text: chooser.problem
        textFormat: Text.PlainText
        elide: Text.ElideMiddle
        color: Theme.red
        font.pointSize: Theme.fontSize(11.5)
    }

    // Footer: hidden folders, a new folder; "Cancel" and "Choose".
    Item {
        id: footer
        x: 18
        y: parent.height - 16 - height
        width: parent.width - 36
        height: chooseButton.implicitHeight
        Row {
            anchors.verticalCenter: parent.verticalCenter
            spacing: 16
            Row {
                objectName: "showHiddenToggle"
                spacing: 7
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: chooser.showHidden ? "checkmark.square.fill" : "square"
                    size: 13
                    color: chooser.showHidden ? Theme.accent : Theme.textDim
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "Show hidden folders"
                    textFormat: Text.PlainText
                    color: Theme.text
                    font.pointSize: Theme.fontSize(12)
                }
                TapHandler {
                    onTapped: chooser.showHidden = !chooser.showHidden
                }
            }
            Row {
                objectName: "newFolderButton"
                spacing: 6
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "plus"
                    size: 11
                    color: Theme.textDim
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "New Folder"
                    textFormat: Text.PlainText
                    color: Theme.text
                    font.pointSize: Theme.fontSize(12)
                }
                TapHandler {
                    onTapped: chooser.startNaming()
                }
            }
        }
        Row {
            anchors.right: parent.right
            spacing: 9
            SecondaryButton {
                objectName: "chooserCancelButton"
                title: "Cancel"
                onClicked: chooser.close()
            }
            PrimaryButton {
                id: chooseButton
                objectName: "chooseButton"
                title: "Choose"
                onClicked: chooser.choose()
            }
        }
    }
}
