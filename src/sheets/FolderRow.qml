import QtQuick
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// One folder of the add-session sheet, shown with "~" for the home folder; a long path loses
// its beginning so that its end stays visible. Hidden characters in it show as marks: a folder
// "rlo<RLO>gpj.exe" does not read "rloexe.jpg".
Item {
    id: row

    property string path: ""
    property bool selected: false

    signal clicked()

    implicitHeight: label.implicitHeight + 18

    Rectangle {
        anchors.fill: parent
        radius: 9
        color: row.selected ? Theme.hoverFill : Theme.pair("15171d", "ffffff", 1)
        border.width: 1
        border.color: row.selected ? Theme.accent : Theme.borderControl
    }
    SymbolIcon {
        id: icon
        x: 11
        anchors.verticalCenter: parent.verticalCenter
        name: "folder.fill"
        size: 12
        color: row.selected ? Theme.accent : Theme.textDim
    }
    NameText {
        id: label
        objectName: "displayPath"
        anchors.left: icon.right
        anchors.leftMargin: 11
        anchors.right: parent.right
        anchors.rightMargin: 11
        anchors.verticalCenter: parent.verticalCenter
        name: SheetLogic.displayPathText(row.path)
        elide: Text.ElideLeft
        color: row.selected ? Theme.textStrong : Theme.text
        font.family: Theme.monospaceFamily
        font.pointSize: Theme.fontSize(12.5)
    }
    MouseArea {
        anchors.fill: parent
        onClicked: row.clicked()
    }
}
