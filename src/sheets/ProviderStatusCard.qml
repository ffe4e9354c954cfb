pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// What the last detection found for one provider's command-line tool, and the one action it
// calls for: copying the install command, or a browser login (which can be cancelled while it
// waits: a sign-in given up in the browser may never end). It keeps nothing of its own; the
// Claude and Codex rows differ only in the texts and tints chosen here by `provider`.
Item {
    id: card
    objectName: "providerStatus"

    property string provider: "claude"
    // The model's detection record, null until the first detection of this run has finished.
    property var info: null

    readonly property bool isClaude: card.provider !== "codex"
    readonly property string state: SheetLogic.cardStateName(card.info)
    readonly property bool loggingIn: card.isClaude ? AppModel.claudeLoggingIn : AppModel.codexLoggingIn
    readonly property bool detecting: card.isClaude ? AppModel.claudeDetecting : AppModel.codexDetecting
    // Why the last login click started no tool; shown in place of the detail until the next one.
    readonly property string loginProblem: card.isClaude ? AppModel.claudeLoginProblem : AppModel.codexLoginProblem
    readonly property string installCommand: card.isClaude ? "npm i -g @anthropic-ai/claude-code" : "npm i -g @openai/codex"
    readonly property string title: {
        switch (card.state) {
        case "missing": return card.isClaude ? "Claude Code not found" : "Codex CLI not found";
        case "needsLogin": return card.isClaude ? "Claude needs login" : "Codex needs login";
        case "ready": return card.isClaude ? "Claude Code detected" : "Codex ready";
        case "problem": return card.isClaude ? "Claude Code is not working" : "Codex CLI is not working";
        // The login shell the probe runs in never got to it: a tool seen at its install place is
        // named found, never missing; one looked for only on the shell's PATH is not known either way.
        case "shellTimedOut":
            if (card.info.found)
                return card.isClaude ? "Claude Code found" : "Codex CLI found";
            return card.isClaude ? "Claude Code not checked" : "Codex CLI not checked";
        default: return card.isClaude ? "Checking for Claude Code…" : "Checking for Codex…";
        }
    }
    readonly property string detail: {
        switch (card.state) {
        case "missing": return card.isClaude ? "" : "Install the OpenAI Codex CLI to use this provider.";
        case "needsLogin":
            if (card.loggingIn)
                return "Finish sign-in in your browser…";
            if (card.loginProblem !== "")
                return card.loginProblem;
            return card.isClaude ? "Installed, but signed out of your Anthropic account." : "Installed, but not signed in to ChatGPT.";
        case "ready": return SheetLogic.readyDetailText(card.info);
        case "problem":
        case "shellTimedOut": return card.info.problem;
        default: return "";
        }
    }
    // A tool that did not answer, or a shell that did not start in time, may do so on another try.
    readonly property bool canCheckAgain: card.state === "problem" || card.state === "shellTimedOut"
    readonly property color fill: {
        switch (card.state) {
        case "missing": return Theme.hex("f0b429", card.isClaude ? 0.07 : 0.06);
        case "needsLogin":
        case "problem":
        case "shellTimedOut": return Theme.hex("f0b429", 0.06);
        case "ready": return Theme.hex("5ad07a", 0.07);
        default: return Theme.pair("15171d", "ffffff", 1);
        }
    }
    readonly property color edge: {
        switch (card.state) {
        case "missing": return Theme.hex("f0b429", card.isClaude ? 0.3 : 0.28);
        case "needsLogin":
        case "problem":
        case "shellTimedOut": return Theme.hex("f0b429", 0.28);
        case "ready": return Theme.hex("5ad07a", 0.28);
        default: return Theme.borderControl;
        }
    }

    implicitWidth: 300
    implicitHeight: content.implicitHeight + 22

    Rectangle {
        anchors.fill: parent
        radius: 10
        color: card.fill
        border.width: 1
        border.color: card.edge
    }

    Column {
        id: content
        x: 13
        y: 11
        width: card.width - 26
        spacing: 9

        // Checking: a spinner and the tool's name.
        Row {
            visible: card.state === "checking"
            spacing: 10
            StepSpinner {
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                objectName: "checkingText"
                anchors.verticalCenter: parent.verticalCenter
                text: card.title
                textFormat: Text.PlainText
                color: Theme.textDim
                font.pointSize: Theme.fontSize(12)
                font.weight: Font.Medium
            }
        }

        // The badge with the title and the detail.
        Row {
            visible: card.state !== "checking"
            width: content.width
            spacing: 10
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 20
                height: 20
                radius: 10
                color: card.state === "ready" ? Theme.hex("2c9d4f", 1) : Theme.amber
                SymbolIcon {
                    anchors.centerIn: parent
                    name: card.state === "ready" ? "checkmark" : "exclamationmark"
                    size: 11
                    color: card.state === "ready" ? "white" : Theme.hex("1a1606", 1)
                }
            }
            Column {
                anchors.verticalCenter: parent.verticalCenter
                width: content.width - 30
                spacing: 1
                Text {
                    objectName: "statusTitle"
                    width: parent.width
                    text: card.title
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    // The Claude card's green title: a dark green on the light palette's pale card,
                    // where the dark palette's pale green would hardly show.
                    color: card.state === "ready" && card.isClaude ? Theme.pair("cfe9d6", "17572d", 1) : Theme.text
                    font.pointSize: Theme.fontSize(12)
                    font.weight: Font.DemiBold
                }
                // Its path may stand in isolates: lines measured by the text's own font.
                MeasuredText {
                    objectName: "statusDetail"
                    width: parent.width
                    visible: !(card.state === "missing" && card.isClaude)
                    text: card.detail
                    textFormat: Text.PlainText
                    // A problem's sentence (a tool's error) may take two lines; a shell too slow to start
                    // three, the tool's path first, broken between words.
                    maximumLineCount: card.state === "shellTimedOut" ? 3 : card.state === "problem" ? 2 : 1
                    wrapMode: card.state === "shellTimedOut" ? Text.Wrap : card.state === "problem" ? Text.WrapAnywhere : Text.NoWrap
                    elide: card.state === "needsLogin" || card.canCheckAgain ? Text.ElideRight : Text.ElideMiddle
                    // Its detail, a shade lighter than the drawn grey-green in the dark palette so
                    // that it reads at 4.5:1 on the card there too.
                    color: card.state === "ready" && card.isClaude ? Theme.pair("74907d", "4d6b57", 1) : Theme.textFaint
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(10.5)
                }
            }
        }

        // A problem or a login shell too slow to start: the detection again, which replaces the
        // record when it ends (the card keeps showing this one meanwhile, the button says it waits).
        Rectangle {
            objectName: "checkAgainButton"
            visible: card.canCheckAgain
            width: checkAgainLabel.implicitWidth + 24
            height: checkAgainLabel.implicitHeight + 14
            radius: 7
            color: Theme.pair("15171d", "ffffff", 1)
            border.width: 1
            border.color: Theme.borderControl
            Row {
                id: checkAgainLabel
                anchors.centerIn: parent
                spacing: 7
                StepSpinner {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: card.detecting
                    width: 12
                    height: 12
                }
                Text {
                    objectName: "checkAgainText"
                    anchors.verticalCenter: parent.verticalCenter
                    text: card.detecting ? "Checking…" : "Check again"
                    textFormat: Text.PlainText
                    color: card.detecting ? Theme.textDim : Theme.text
                    font.pointSize: Theme.fontSize(11.5)
                    font.weight: Font.DemiBold
                }
            }
            MouseArea {
                anchors.fill: parent
                enabled: !card.detecting
                cursorShape: card.detecting ? Qt.ArrowCursor : Qt.PointingHandCursor
                onClicked: card.isClaude ? AppModel.detectClaude() : AppModel.detectCodex()
            }
        }

        // Missing: the install command with its copy button.
        Rectangle {
            objectName: "commandBox"
            visible: card.state === "missing"
            width: content.width
            height: command.implicitHeight + (card.isClaude ? 16 : 14)
            radius: card.isClaude ? 8 : 7
            color: card.isClaude ? Theme.surface : Theme.pair("15171d", "ffffff", 1)
            border.width: 1
            border.color: Theme.borderControl
            Text {
                id: command
                objectName: "installCommand"
                x: card.isClaude ? 11 : 10
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 2 * x - copy.width - 9
                text: card.installCommand
                textFormat: Text.PlainText
                elide: Text.ElideRight
                color: Theme.text
                font.family: Theme.monospaceFamily
                font.pointSize: Theme.fontSize(11)
            }
            // "⧉ copy" on the Claude card; no installed font has the ⧉ sign, so the symbol set's
            // two squares stand in for it.
            Row {
                id: copy
                objectName: "copyButton"
                anchors.right: parent.right
                anchors.rightMargin: command.x
                anchors.verticalCenter: parent.verticalCenter
                spacing: 3
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: card.isClaude
                    name: "square.on.square"
                    size: 10
                    color: Theme.accent
                }
                // Monospaced on the Claude card, the plain UI font on the Codex one.
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: card.isClaude
                    text: "copy"
                    textFormat: Text.PlainText
                    color: Theme.accent
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(11)
                    font.weight: Font.DemiBold
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: !card.isClaude
                    text: "copy"
                    textFormat: Text.PlainText
                    color: Theme.accent
                    font.pointSize: Theme.fontSize(10.5)
                    font.weight: Font.DemiBold
                }
            }
            MouseArea {
                anchors.fill: copy
                anchors.margins: -4
                cursorShape: Qt.PointingHandCursor
                onClicked: SheetLogic.copyText(card.installCommand)
            }
        }

        // Needs login: the browser login, waiting while it runs, with Cancel beside it then.
        Rectangle {
            objectName: "loginButton"
            visible: card.state === "needsLogin"
            width: content.width - (card.loggingIn ? cancelButton.width + 8 : 0)
            height: loginLabel.implicitHeight + 14
            radius: 7
            color: card.loggingIn ? Theme.pair("15171d", "ffffff", 1) : Theme.accent
            border.width: card.loggingIn ? 1 : 0
            border.color: Theme.borderControl
            Row {
                id: loginLabel
                anchors.centerIn: parent
                spacing: 7
                StepSpinner {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: card.loggingIn
                    width: 12
                    height: 12
                }
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: !card.loggingIn
                    name: "person.badge.key"
                    size: 11
                    color: Theme.hex("0c0a04", 1)
                }
                Text {
                    objectName: "loginText"
                    anchors.verticalCenter: parent.verticalCenter
                    text: card.loggingIn ? "Waiting for browser…" : "Log in with browser"
                    textFormat: Text.PlainText
                    color: card.loggingIn ? Theme.textDim : Theme.hex("0c0a04", 1)
                    font.pointSize: Theme.fontSize(11.5)
                    font.weight: Font.DemiBold
                }
            }
            MouseArea {
                anchors.fill: parent
                enabled: !card.loggingIn
                cursorShape: card.loggingIn ? Qt.ArrowCursor : Qt.PointingHandCursor
                onClicked: AppModel.login(card.provider)
            }

            // Ends the login's process (and what it started); the login can be tried again.
            Rectangle {
                id: cancelButton
                objectName: "cancelLoginButton"
                visible: card.loggingIn && card.state === "needsLogin"
                x: parent.width + 8
                width: cancelLabel.implicitWidth + 24
                height: parent.height
                radius: 7
                color: Theme.pair("15171d", "ffffff", 1)
                border.width: 1
                border.color: Theme.borderControl
                Text {
                    id: cancelLabel
                    objectName: "cancelLoginText"
                    anchors.centerIn: parent
                    text: "Cancel"
                    textFormat: Text.PlainText
                    color: Theme.hex("f0524f", 1)
                    font.pointSize: Theme.fontSize(11.5)
                    font.weight: Font.DemiBold
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: AppModel.cancelLogin(card.provider)
                }
            }
        }
    }
}
