pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// The first-run flow: one centred card with four steps (welcome, the agent tools, the first
// workspace's name, a tip). Finishing creates that workspace and marks the onboarding done;
// "Skip" marks it done and creates nothing. The steps' logic lives in OnboardingFlow.
Rectangle {
    id: view
    objectName: "onboarding"

    property alias total: flow.total
    readonly property alias flow: flow

    color: Theme.pair("0e0f13", "e7e9ee", 1)

    OnboardingFlow {
        id: flow
        onStepChanged: if (flow.step === 2) nameField.forceActiveFocus()
    }
    Component.onCompleted: flow.detectUnknownTools()

    // The card: dark in the dark palette, light in the light one (its texts follow the palette).
    Rectangle {
        id: card
        objectName: "onboardingCard"
        anchors.centerIn: parent
        width: 420
        height: 470
        radius: 16
        color: Theme.pair("0e0f13", "f3f4f7", 1)
        border.width: 1
        border.color: Theme.borderStrong
        clip: true

        // Top row: the step's caption and "Skip".
        Item {
            id: topRow
            x: 16
            y: 14
            width: card.width - 32
            height: skip.implicitHeight
            Text {
                objectName: "stepLabel"
                anchors.verticalCenter: parent.verticalCenter
                text: flow.stepLabel
                textFormat: Text.PlainText
                font.capitalization: Font.AllUppercase
                font.letterSpacing: 0.5
                font.pointSize: Theme.fontSize(10)
                font.weight: Font.DemiBold
                color: Theme.textFaint
            }
            Text {
                id: skip
                objectName: "skipButton"
                anchors.right: parent.right
                text: "Skip"
                textFormat: Text.PlainText
                font.pointSize: Theme.fontSize(11)
                color: Theme.textFaint
                MouseArea {
                    anchors.fill: parent
                    anchors.margins: -4
                    onClicked: flow.skip()
                }
            }
        }

        // The steps, centred between the top row and the footer; the outgoing and incoming
        // contents cross-fade.
        Item {
            id: middle
            anchors.top: topRow.bottom
            anchors.bottom: footer.top
            width: card.width

            OnboardingStep {
                index: 0
                current: flow.step
                Column {
                    x: 28
                    width: middle.width - 56
                    spacing: 14
                    Rectangle {
                        objectName: "appGlyph"
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: 46
                        height: 46
                        radius: 9
                        color: Theme.hex("1f222a", 1)
                        border.width: 1
                        border.color: Theme.borderStrong
                        Grid {
                            anchors.centerIn: parent
                            columns: 2
                            spacing: 2
                            Repeater {
                                model: [Theme.accent, Theme.amber, Theme.textGhost, Theme.hex("3a3d45", 1)]
                                delegate: Rectangle {
                                    required property color modelData
                                    width: 11
                                    height: 11
                                    radius: 1
                                    color: modelData
                                }
                            }
                        }
                    }
                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        text: "See every Claude Code session at a glance"
                        textFormat: Text.PlainText
                        color: Theme.textStrong
                        font.pointSize: Theme.fontSize(16)
                        font.weight: Font.Bold
                    }
                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        text: "All your parallel sessions, one window."
                        textFormat: Text.PlainText
                        color: Theme.textDim
                        font.pointSize: Theme.fontSize(12)
                    }
                }
            }

            OnboardingStep {
                index: 1
                current: flow.step
                Column {
                    x: 24
                    width: middle.width - 48
                    spacing: 11
                    Text {
                        text: "Connect your coding agents"
                        textFormat: Text.PlainText
                        color: Theme.textStrong
                        font.pointSize: Theme.fontSize(13.5)
                        font.weight: Font.DemiBold
                    }
                    ClaudeStatusRow {
                        objectName: "claudeStatus"
                        width: parent.width
                        info: AppModel.claude
                    }
                    CodexStatusRow {
                        objectName: "codexStatus"
                        width: parent.width
                        info: AppModel.codex
                    }
                    OnboardingNote {
                        width: parent.width
                        text: "Optional — you can also sign in later from Add Session. Connect at least one to start a chat pane."
                    }
                }
            }

            OnboardingStep {
                index: 2
                current: flow.step
                Column {
                    x: 24
                    width: middle.width - 48
                    spacing: 13
                    Text {
                        text: "Name your first workspace"
                        textFormat: Text.PlainText
                        color: Theme.textStrong
                        font.pointSize: Theme.fontSize(13.5)
                        font.weight: Font.DemiBold
                    }
                    Column {
                        width: parent.width
                        spacing: 6
                        SectionLabel {
                            text: "Name"
                            size: 10
                            tracking: 0.4
                        }
                        TextField {
                            id: nameField
                            objectName: "workspaceNameField"
                            width: parent.width
                            text: flow.wsName
                            onTextEdited: flow.wsName = nameField.text
                            maximumLength: AppModel.maxNameLength
                            onAccepted: flow.advance()
                            enabled: flow.step === 2
                            placeholderText: "My Project"
                            placeholderTextColor: Theme.textFaint
                            color: Theme.textStrong
                            selectionColor: Theme.hex("5b8cdd", 0.45)
                            font.pointSize: Theme.fontSize(12.5)
                            leftPadding: 11
                            rightPadding: 11
                            topPadding: 8
                            bottomPadding: 8
                            background: Rectangle {
                                radius: 8
                                color: Theme.surface
                                border.width: 1
                                border.color: Theme.accent
                            }
                        }
                    }
                    OnboardingNote {
                        width: parent.width
                        text: "A workspace groups related sessions. You'll add your first session — and pick its folder — right after this."
                    }
                }
            }

            OnboardingStep {
                index: 3
                current: flow.step
                Column {
                    x: 24
                    width: middle.width - 48
                    spacing: 13
                    Rectangle {
                        objectName: "sampleStrip"
                        width: chips.implicitWidth + 14
                        height: chips.implicitHeight + 14
                        radius: 8
                        color: Theme.hex("101218", 1)
                        border.width: 1
                        border.color: Theme.border
                        Row {
                            id: chips
                            anchors.centerIn: parent
                            spacing: 6
                            OnboardingMiniChip {
                                name: "api"
                                dotColor: Theme.amber
                                pulse: true
                            }
                            OnboardingMiniChip {
                                name: "web"
                                dotColor: Theme.accent
                            }
                            OnboardingMiniChip {
                                name: "etl"
                                dotColor: Theme.textGhost
                            }
                        }
                    }
                    Text {
                        text: "Watch this strip"
                        textFormat: Text.PlainText
                        color: Theme.textStrong
                        font.pointSize: Theme.fontSize(13.5)
                        font.weight: Font.DemiBold
                    }
                    Text {
                        width: parent.width
                        wrapMode: Text.Wrap
                        lineHeightMode: Text.FixedHeight
                        lineHeight: Math.ceil(fontInfo.pixelSize * 1.2) + 2
                        text: "The attention strip mirrors every pane's state — an amber dot here means a backgrounded session needs you."
                        textFormat: Text.PlainText
                        color: Theme.textDim
                        font.pointSize: Theme.fontSize(12)
                    }
                }
            }
        }

        // Footer: the primary button, the step dots and "Back".
        Column {
            id: footer
            x: 14
            width: card.width - 28
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 14
            spacing: 12
            PrimaryButton {
                objectName: "advanceButton"
                width: parent.width
                title: flow.footerTitle
                fullWidth: true
                opacity: flow.canAdvance ? 1 : 0.5
                onClicked: flow.advance()
            }
            Item {
                width: parent.width
                height: Math.max(dots.height, back.implicitHeight)
                Row {
                    id: dots
                    anchors.centerIn: parent
                    spacing: 6
                    Repeater {
                        model: flow.total
                        delegate: Rectangle {
                            required property int index
                            width: 6
                            height: 6
                            radius: 3
                            color: index === flow.step ? Theme.accent : Theme.borderStrong
                        }
                    }
                }
                Item {
                    id: back
                    objectName: "backButton"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: flow.step >= 1
                    implicitWidth: backLabel.implicitWidth
                    implicitHeight: backLabel.implicitHeight
                    width: backLabel.implicitWidth
                    height: backLabel.implicitHeight
                    Row {
                        id: backLabel
                        spacing: 4
                        SymbolIcon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "chevron.left"
                            size: 9
                            color: Theme.textFaint
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: "Back"
                            textFormat: Text.PlainText
                            color: Theme.textFaint
                            font.pointSize: Theme.fontSize(11)
                        }
                    }
                    MouseArea {
                        anchors.fill: parent
                        anchors.margins: -4
                        onClicked: flow.back()
                    }
                }
            }
        }
    }
}
