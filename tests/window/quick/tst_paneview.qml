import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Window

Item {
    id: top
    width: 1000
    height: 400

    Row {
        id: panes
        spacing: 10
        Repeater {
            id: repeater
            model: AppModel.selectedSessions
            delegate: PaneView {
                width: 300
                height: 200
            }
        }
    }

    TestCase {
        name: "PaneView"
        when: windowShown

        function initTestCase() {
            verify(AppModel.addWorkspace("Panes", "5b8cee"));
            verify(AppModel.addSession("terminal", "one", "/tmp/one", false, "claude"));
            verify(AppModel.addSession("chat", "two", "/tmp/two", false, "claude"));
            tryCompare(repeater, "count", 2, 1000);
        }
        function record(row) { return AppModel.selectedSessions.get(row); }

        function test_live_content_survives_record_changes() {
            const pane = repeater.itemAt(0);
            const content = pane.content;
            verify(content !== null);
            const surface = content.surface; // the terminal's live surface
            const id = record(0).id;
            AppModel.toggleMute(id);
            AppModel.rename(id, "one renamed");
            AppModel.focusPane(id);
            AppModel.toggleMaximize(id);
            AppModel.toggleMaximize(id);
            AppModel.restart(id); // running: state changes but the pane stays live
            wait(50); // lets a wrongly recreated delegate appear
            verify(repeater.itemAt(0) === pane, "the delegate stays");
            verify(pane.content === content, "the content stays");
            verify(pane.content.surface === surface, "the same terminal, the same shell");
            compare(findChild(pane.shell, "projectName").text, "one renamed");
            compare(pane.shell.paneState, "running");
            AppModel.toggleMute(id);
            AppModel.rename(id, "one");
        }

        function test_stop_shows_the_placeholder_and_restart_brings_the_frame_back() {
            const pane = repeater.itemAt(1);
            const id = record(1).id;
            const before = pane.content;
            AppModel.maximizedSessionID = id;
            AppModel.stop(id);
            tryCompare(pane, "stopped", true, 1000);
            compare(pane.shell, null, "no frame, header or menu while stopped");
            verify(pane.placeholder !== null);
            compare(findChild(pane.placeholder, "icon").name, "bubble.left", "a chat pane shows the bubble");
            compare(findChild(pane.placeholder, "projectName").text, "two");
            mouseClick(pane.placeholder.restartButton);
            verify(record(1).state !== "stopped");
            compare(AppModel.maximizedSessionID, "", "restart returns to the grid");
            tryVerify(() => pane.shell !== null, 1000);
            verify(pane.content !== before, "a restart makes a new chat view");
        }

        function test_stopped_terminal_shows_the_stop_symbol() {
            const id = record(0).id;
            AppModel.stop(id);
            const pane = repeater.itemAt(0);
            tryVerify(() => pane.placeholder !== null, 1000);
            compare(findChild(pane.placeholder, "icon").name, "stop.fill");
            AppModel.restart(id);
        }
    }
}
