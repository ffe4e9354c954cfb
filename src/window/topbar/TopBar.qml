// Not a bound-components file: Qt 6.4's Loader gives the item it makes a context of its own,
// which a bound component refuses ("Cannot instantiate bound component outside its creation
// context").
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Sheets
import Brinmoor.Window

// The 38 pt bar across the top of the window. It stands in for the title bar of the frameless
// window: dragging its empty parts moves the window, a double click zooms it, and the window
// buttons sit in its leading inset (hidden in full screen). Left: the selected workspace; right:
// the update pill, the usage warning, the usage buttons, the layout picker, the theme toggle and
// the add button. The application's name is centred over the whole bar.
Rectangle {
    id: bar

    required property WindowChrome chrome
    // The Claude account's usage, observed for the warning tag.
    property UsageService usage: UsageServices.claude
    // The update checker (any object with its fields, install() and openPage()).
    property var updater: UpdateChecker
    readonly property bool updateAvailable: !!bar.updater && bar.updater.available
    readonly property bool updateDownloading: !!bar.updater && bar.updater.downloading
    readonly property bool updateReady: !!bar.updater && bar.updater.ready
    readonly property string updateVersion: bar.updater ? bar.updater.latestVersion : ""
    // Why a click cannot open the download page ("" when it can, or when a click installs).
    readonly property string updatePageProblem: !!bar.updater && !!bar.updater.pageProblem
                                                && !(bar.updateReady && bar.updater.installable === true)
                                                ? bar.updater.pageProblem : ""
    // Why this copy cannot install an update in place ("" when it can): the pill then offers
    // the download page, and says so.
    readonly property string updateInstallProblem: !!bar.updater && !!bar.updater.installProblem
                                                   ? bar.updater.installProblem : ""
    readonly property bool updateHasPage: !!bar.updater && !!bar.updater.pageURL
                                          && bar.updater.pageURL.toString() !== ""
    // Why the announced version was not installed; the pill then says "Update Failed".
    readonly property string updateFailure: !!bar.updater && !bar.updateReady && !bar.updateDownloading
                                            && !!bar.updater.failure ? bar.updater.failure : ""
    // The Claude usage popover is open (the Codex one's flag lives in its button).
    property alias showUsage: claudeButton.showPopover

    readonly property var workspace: AppModel.selectedWorkspace
    readonly property bool hasWorkspace: AppModel.selectedWorkspaceIndex >= 0 && !!bar.workspace
    // The Claude account's metrics, in the order the service reports them.
    property var metrics: bar.usage ? bar.usage.metrics : []
    readonly property var usageWarning: WindowText.usageWarning(bar.metrics)
    readonly property var usageTag: bar.usageWarning ? WindowText.usageWarningTag(bar.usageWarning) : ({})
    readonly property bool codexSignedIn: !!AppModel.codex && AppModel.codex.authed
    readonly property real leadingInset: AppModel.isFullscreen ? 16 : 84

    function addAction() {
        AppModel.activeSheet = bar.hasWorkspace ? "addSession" : "newWorkspace";
    }
    function toggleTheme() {
        AppModel.themePreference = WindowText.nextTheme(AppModel.themePreference);
    }

    height: 38
    color: Theme.pair("16181f", "dfe1e6", 1)

    // Behind the row: a drag moves the window, a double click zooms it.
    WindowDragStrip {
        objectName: "barCatcher"
        anchors.fill: parent
        chrome: bar.chrome
    }

    WindowButtons {
        objectName: "windowButtons"
        chrome: bar.chrome
        visible: !AppModel.isFullscreen
        anchors.verticalCenter: parent.verticalCenter
        x: (84 - width) / 2
    }

    // The application's name over the middle of the bar; it takes no clicks.
    Row {
        objectName: "appTitle"
        anchors.centerIn: parent
        spacing: 6
        LogoMark {
            anchors.verticalCenter: parent.verticalCenter
            size: 14
        }
        Text {
            objectName: "appTitleText"
            anchors.verticalCenter: parent.verticalCenter
            text: WindowText.appTitle
            textFormat: Text.PlainText
            color: WindowText.isDevBuild ? Theme.amber : Theme.textDim
            font.pointSize: Theme.fontSize(12.5)
            font.weight: Font.DemiBold
        }
    }

    // The selected workspace.
    Row {
        id: leading
        objectName: "workspaceTitle"
        anchors.left: parent.left
        anchors.leftMargin: bar.leadingInset
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8
        WorkspaceRowAttention {
            id: selectedStates
            sessions: AppModel.selectedSessions
        }
        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            visible: bar.hasWorkspace
            width: 9
            height: 9
            radius: 3
            color: bar.hasWorkspace ? Theme.hex(bar.workspace.colorHex, 1) : "transparent"
        }
        NameText {
            objectName: "workspaceName"
            anchors.verticalCenter: parent.verticalCenter
            name: bar.hasWorkspace ? bar.workspace.name : qsTr("No workspace")
            elide: Text.ElideRight
            width: Math.min(implicitWidth, 260)
            color: bar.hasWorkspace ? Theme.textStrong : Theme.textDim
            font.pointSize: Theme.fontSize(13)
            font.weight: Font.DemiBold
        }
        Text {
            objectName: "sessionSubtitle"
            anchors.verticalCenter: parent.verticalCenter
            visible: bar.hasWorkspace
            text: WindowText.subtitle(selectedStates.sessionCount, selectedStates.awaitingCount)
            textFormat: Text.PlainText
            maximumLineCount: 1
            color: Theme.textFaint
            font.pointSize: Theme.fontSize(11.5)
        }
    }

    Row {
        id: trailing
        objectName: "trailingControls"
        anchors.right: parent.right
        anchors.rightMargin: 14
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8

        // A new version: download state, install, or the release page.
        Rectangle {
            id: pill
            objectName: "updatePill"
            anchors.verticalCenter: parent.verticalCenter
            visible: bar.updateAvailable
            readonly property bool enabledNow: !bar.updateDownloading
            // A click that could not open the page: the tooltip says why at once.
            property bool explaining: false
            width: pillRow.implicitWidth + 16
            height: pillRow.implicitHeight + 8
            radius: 7
            color: bar.updateFailure !== "" ? Theme.red : Theme.hex("5b8cdd", bar.updateReady ? 1 : 0.85)
            Row {
                id: pillRow
                anchors.centerIn: parent
                spacing: 4
                BusyIndicator {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: bar.updateDownloading
                    running: bar.updateDownloading
                    width: 11
                    height: 11
                    padding: 0
                }
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: !bar.updateDownloading
                    name: bar.updateReady ? "arrow.down.circle.fill"
                          : bar.updateFailure !== "" ? "exclamationmark.triangle.fill" : "arrow.down.circle"
                    size: 10
                    color: "white"
                }
                Text {
                    objectName: "updatePillText"
                    anchors.verticalCenter: parent.verticalCenter
                    text: bar.updateDownloading ? qsTr("Downloading…")
                          : bar.updateReady && bar.updateInstallProblem === "" ? qsTr("Install Update")
                          : bar.updateFailure !== "" ? qsTr("Update Failed")
                          : bar.updateInstallProblem === "" ? qsTr("Update")
                          : bar.updateHasPage ? qsTr("Get Update") : qsTr("Update Available")
                    color: "white"
                    font.pointSize: Theme.fontSize(11)
                    font.weight: Font.DemiBold
                }
            }
            MouseArea {
                id: pillMouse
                objectName: "updatePillMouse"
                anchors.fill: parent
                hoverEnabled: true
                enabled: pill.enabledNow
                onClicked: {
                    let acted = true;
                    if (bar.updateReady)
                        acted = bar.updater.install();
                    else if (!bar.updateDownloading)
                        acted = bar.updater.openPage();
                    // A click that opened nothing shows at once why.
                    if (acted === false)
                        pill.explaining = true;
                }
                onContainsMouseChanged: if (!pillMouse.containsMouse) pill.explaining = false
            }
            ToolTip.visible: pillMouse.containsMouse
            ToolTip.delay: pill.explaining ? 0 : 600
            ToolTip.text: bar.updateFailure !== ""
                          ? (bar.updatePageProblem === "" ? bar.updateFailure
                                                          : bar.updateFailure + "\n" + bar.updatePageProblem)
                          : bar.updateInstallProblem !== ""
                          ? WindowText.byHandHelp(bar.updateVersion, bar.updateInstallProblem, bar.updateHasPage,
                                                  bar.updatePageProblem)
                          : WindowText.pillHelp(bar.updateReady, bar.updateVersion, bar.updatePageProblem)
        }

        // High Claude usage: amber from 90 %, red at the limit.
        Rectangle {
            id: tag
            objectName: "usageWarningTag"
            anchors.verticalCenter: parent.verticalCenter
            visible: !!bar.usageWarning
            readonly property color tint: Theme.hex(bar.usageTag.colorHex || "f0b429", 1)
            width: tagRow.implicitWidth + 16
            height: tagRow.implicitHeight + 6
            radius: height / 2
            color: Theme.hex(bar.usageTag.colorHex || "f0b429", 0.15)
            border.width: 1
            border.color: Theme.hex(bar.usageTag.colorHex || "f0b429", 0.45)
            Row {
                id: tagRow
                anchors.centerIn: parent
                spacing: 5
                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 6
                    height: 6
                    radius: 3
                    color: tag.tint
                }
                Text {
                    objectName: "usageWarningText"
                    anchors.verticalCenter: parent.verticalCenter
                    text: bar.usageTag.text || ""
                    color: tag.tint
                    font.pointSize: Theme.fontSize(11)
                    font.weight: Font.DemiBold
                }
                Text {
                    objectName: "usageWarningReset"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: text !== ""
                    text: bar.usageTag.resetText || ""
                    color: tag.tint
                    font.pointSize: Theme.fontSize(10.5)
                }
            }
            MouseArea {
                id: tagMouse
                anchors.fill: parent
                hoverEnabled: true
                onClicked: claudeButton.activate()
            }
            ToolTip.visible: tagMouse.containsMouse
            ToolTip.delay: 600
            ToolTip.text: bar.usageTag.help || ""
        }

        UsageButton {
            id: claudeButton
            objectName: "claudeUsageButton"
            anchors.verticalCenter: parent.verticalCenter
            service: UsageServices.claude
            provider: "claude"
        }

        // The Codex account's button exists only once the Codex tool is known to be signed in;
        // each time it comes into view the Codex usage monitor is started.
        Loader {
            id: codexButtonLoader
            objectName: "codexUsageLoader"
            anchors.verticalCenter: parent.verticalCenter
            active: bar.codexSignedIn
            visible: codexButtonLoader.active
            sourceComponent: UsageButton {
                objectName: "codexUsageButton"
                service: UsageServices.codex
                provider: "codex"
                Component.onCompleted: UsageServices.codex.start()
            }
        }

        Loader {
            objectName: "layoutPickerLoader"
            anchors.verticalCenter: parent.verticalCenter
            active: bar.hasWorkspace && selectedStates.sessionCount >= 2
            visible: active
            sourceComponent: LayoutPicker {
                objectName: "layoutPicker"
            }
        }

        Item {
            objectName: "themeToggle"
            anchors.verticalCenter: parent.verticalCenter
            width: 24
            height: 24
            SymbolIcon {
                anchors.centerIn: parent
                name: AppModel.themePreference === "dark" ? "sun.max" : "moon"
                size: 12
                color: Theme.textDim
            }
            MouseArea {
                id: themeMouse
                anchors.fill: parent
                hoverEnabled: true
                preventStealing: true
                onClicked: bar.toggleTheme()
            }
            ToolTip.visible: themeMouse.containsMouse
            ToolTip.delay: 600
            ToolTip.text: qsTr("Toggle light / dark")
        }

        Rectangle {
            objectName: "addButton"
            anchors.verticalCenter: parent.verticalCenter
            width: 26
            height: 24
            radius: 7
            color: Theme.hex("5b8cdd", 0.12)
            SymbolIcon {
                anchors.centerIn: parent
                name: "plus"
                size: 13
                color: Theme.accent
            }
            MouseArea {
                id: addMouse
                anchors.fill: parent
                hoverEnabled: true
                preventStealing: true
                onClicked: bar.addAction()
            }
            ToolTip.visible: addMouse.containsMouse
            ToolTip.delay: 600
            ToolTip.text: bar.hasWorkspace ? qsTr("Add session") : qsTr("New workspace")
        }
    }

    // The bottom edge.
    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 1
        color: Theme.border
    }
}
