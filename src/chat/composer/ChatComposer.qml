import QtQuick
import Brinmoor.Agent
import Brinmoor.Chat

// A chat pane's input area: the composer bar over the session controls row, sharing the list of
// attachments that go with the next message. The chat pane places it at its foot while the
// session has no failure and the pane is not compact.
Item {
    id: composer

    // The pane's chat session.
    required property ClaudeSession session
    readonly property alias model: composerModel
    readonly property alias inputBar: bar
    readonly property alias controls: controlsRow

    implicitHeight: bar.implicitHeight + controlsRow.implicitHeight

    function focusEditor() {
        bar.editor.forceEditorFocus();
    }

    ComposerModel {
        id: composerModel
        session: composer.session
        // The draft and its chips are the session's: a composer built again shows them as left.
        store: composer.session ? ChatMemory.of(composer.session).draft : null
        // The editor holds the draft; the model reads it when it needs all of it (sending).
        textEdit: bar.editor.textItem
    }
    ChatInputBar {
        id: bar
        objectName: "chatInputBar"
        width: composer.width
        session: composer.session
        composer: composerModel
    }
    SessionControlsRow {
        id: controlsRow
        objectName: "sessionControls"
        y: bar.height
        width: composer.width
        session: composer.session
        attachments: composerModel.attachments
    }
}
