import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Window

Item {
    id: top
    width: 900
    height: 600

    Component { id: shellComponent; PaneShell { width: 420; height: 240 } }
    Component { id: accessoryComponent; Rectangle { objectName: "historyButton"; width: 20; height: 18; color: "red" } }

    // The records of the two sessions made in initTestCase.
    function record(row) { return AppModel.selectedSessions.get(row); }

    // The saved record of a session, read back from the state file.
    function savedSession(id) {
        const state = JSON.parse(TestSupport.readFile(TestSupport.stateFilePath()));
        for (const w of state.workspaces)
            for (const s of w.sessions)
                if (s.id === id)
                    return s;
        return null;
    }

    function useTheme(dark) {
        Theme.animationDuration = 0;
        Theme.dark = dark;
    }

    TestCase {
        id: suite
        name: "PaneShell"
        when: windowShown

        SignalSpy { id: saves; target: AppModel; signalName: "stateSaved" }

        function initTestCase() {
            verify(AppModel.addWorkspace("Frames", "5b8cee"));
            verify(AppModel.addSession("terminal", "alpha", "/tmp/alpha", false, "claude"));
            verify(AppModel.addSession("chat", "beta", "/tmp/beta", true, "codex"));
            compare(AppModel.selectedSessions.count, 2);
        }

        function init() {
            top.useTheme(true);
            AppModel.maximizedSessionID = "";
            if (AppModel.focusedSessionID !== "")
                AppModel.blurPane(AppModel.focusedSessionID);
            tryCompare(AppModel, "focusedSessionID", "", 2000); // the blur lands a moment later
            saves.clear();
        }

        function makeShell(row, state, extra) {
            const props = Object.assign({ session: top.record(row), paneState: state }, extra || {});
            return createTemporaryObject(shellComponent, top, props);
        }

        function test_border_by_state_without_focus_data() {
            return [
                { tag: "running", state: "running", width: 1.0, dark: "#2b303a", light: "#d2d5dc", glow: 0 },
                { tag: "idle", state: "idle", width: 1.0, dark: "#1c1e25", light: "#dfe1e6", glow: 0 },
                { tag: "awaiting", state: "awaiting", width: 1.5, dark: "#f0b429", light: "#f0b429", glow: 0.45 },
                { tag: "error", state: "error", width: 1.5, dark: "#f0524f", light: "#f0524f", glow: 0.25 },
                { tag: "stopped", state: "stopped", width: 1.0, dark: "#2b303a", light: "#d2d5dc", glow: 0 }
            ];
        }
        function test_border_by_state_without_focus(data) {
            const shell = makeShell(0, data.state);
            const border = findChild(shell, "border");
            compare(border.border.width, data.width);
            verify(Qt.colorEqual(border.border.color, data.dark), border.border.color + " vs " + data.dark);
            fuzzyCompare(shell.glowColor.a, data.glow, 0.01);
            compare(shell.focusRing.opacity, 0);
            top.useTheme(false);
            verify(Qt.colorEqual(border.border.color, data.light), border.border.color + " vs " + data.light);
        }

        function test_focus_ring_and_accent_border_for_focused_calm_states() {
            const id = top.record(0).id;
            for (const s of ["running", "idle", "stopped"]) {
                const shell = makeShell(0, s);
                AppModel.focusPane(id);
                verify(shell.showsFocus, s);
                tryCompare(shell.focusRing, "opacity", 0.9, 1000);
                const border = findChild(shell, "border");
                compare(border.border.width, 1.5);
                verify(Qt.colorEqual(border.border.color, Qt.rgba(0x5b / 255, 0x8c / 255, 0xdd / 255, 0.7)), s);
                AppModel.blurPane(id);
                tryCompare(shell.focusRing, "opacity", 0, 1000);
                compare(border.border.width, 1.0);
            }
        }

        function test_focus_ring_is_animated_not_recreated() {
            const shell = makeShell(0, "running");
            const ring = shell.focusRing;
            const seen = [];
            const record = () => seen.push(ring.opacity);
            ring.opacityChanged.connect(record);
            AppModel.focusPane(top.record(0).id);
            tryCompare(ring, "opacity", 0.9, 2000);
            ring.opacityChanged.disconnect(record);
            verify(seen.some(o => o > 0 && o < 0.9), "passes through mid values: " + seen);
            verify(shell.focusRing === ring);
        }

        function test_awaiting_and_error_never_show_focus() {
            AppModel.focusPane(top.record(0).id);
            for (const s of ["awaiting", "error"]) {
                const shell = makeShell(0, s);
                verify(!shell.showsFocus, s);
                wait(260); // longer than the ring's animation: proves it never starts
                compare(shell.focusRing.opacity, 0, s);
                compare(findChild(shell, "border").border.width, 1.5);
            }
        }

        function test_full_header_contents() {
            const chat = makeShell(1, "running", { cost: "$0.42" });
            for (const name of ["stateDot", "projectName", "sessionLabel", "providerLogo", "autoApproveLock",
                                "cost", "muteButton", "maximizeButton", "overflowMenu"])
                verify(findChild(chat, name).visible, name);
            compare(findChild(chat, "projectName").text, "beta");
            compare(findChild(chat, "sessionLabel").text, "session 1");
            compare(findChild(chat, "projectName").font.pointSize, Theme.fontSize(12));
            verify(!findChild(chat, "projectName").truncated, "a name with room is shown whole");
            // A short row gives the name what the buttons leave: a name longer than that is cut.
            AppModel.rename(top.record(1).id, "beta, the longer name");
            chat.session = top.record(1);
            chat.width = 200;
            tryVerify(() => findChild(chat, "projectName").truncated, 1000, "a short row truncates the name");
            AppModel.rename(top.record(1).id, "beta");

            const terminal = makeShell(0, "running", { cost: "" });
            verify(!findChild(terminal, "providerLogo").visible, "no logo for a terminal");
            verify(!findChild(terminal, "autoApproveLock").visible, "no lock without auto-approve");
            verify(!findChild(terminal, "cost").visible, "an empty cost shows nothing");
        }

        function test_accessory_sits_before_the_mute_button_and_not_in_compact_form() {
            const shell = makeShell(1, "running", { accessory: accessoryComponent });
            const accessory = findChild(shell, "historyButton");
            verify(accessory !== null && accessory.visible);
            const mute = findChild(shell, "muteButton");
            verify(accessory.mapToItem(shell, 0, 0).x < mute.mapToItem(shell, 0, 0).x);
            shell.compact = true;
            verify(!findChild(shell, "accessory").visible);
        }

        function test_compact_header_contents() {
            const shell = makeShell(1, "running", { compact: true, cost: "$1.00" });
            for (const name of ["stateDot", "projectName", "providerLogo", "autoApproveLock"])
                verify(findChild(shell, name).visible, name);
            for (const name of ["sessionLabel", "cost", "accessory", "muteButton", "maximizeButton", "overflowMenu"])
                verify(!findChild(shell, name).visible, name);
            compare(findChild(shell, "projectName").font.pointSize, Theme.fontSize(11));
        }

        function test_idle_name_is_dimmer() {
            const idle = makeShell(0, "idle");
            verify(Qt.colorEqual(findChild(idle, "projectName").color, "#787f89"));
            const running = makeShell(0, "running");
            verify(Qt.colorEqual(findChild(running, "projectName").color, "#c5c9d0"));
        }

        function test_mute_toggles_and_saves_each_time() {
            const shell = makeShell(0, "running");
            const mute = findChild(shell, "muteButton");
            compare(top.record(0).muted, false);
            mouseClick(mute);
            compare(top.record(0).muted, true);
            compare(saves.count, 1);
            compare(top.savedSession(top.record(0).id).muted, true);
            shell.session = top.record(0);
            compare(mute.systemName, "bell.slash.fill");
            compare(mute.active, true);
            mouseClick(mute);
            compare(top.record(0).muted, false);
            compare(saves.count, 2);
        }

        function test_header_buttons_keep_their_clicks_from_the_double_click() {
            const shell = makeShell(0, "running");
            const maximize = findChild(shell, "maximizeButton");
            mouseClick(maximize);
            compare(AppModel.maximizedSessionID, top.record(0).id, "one click on the button maximizes");
            mouseClick(maximize);
            compare(AppModel.maximizedSessionID, "");
            // Two quick clicks on the mute button are two mute clicks, never a header double click.
            const mute = findChild(shell, "muteButton");
            mouseDoubleClickSequence(mute);
            compare(AppModel.maximizedSessionID, "");
            compare(top.record(0).muted, false, "toggled twice");
            compare(saves.count, 2);
        }

        function test_double_click_on_header_maximizes_and_returns() {
            const a = makeShell(0, "running");
            const b = makeShell(1, "running");
            b.y = 300;
            mouseDoubleClickSequence(a.header, 200, 10);
            compare(AppModel.maximizedSessionID, top.record(0).id);
            mouseDoubleClickSequence(b.header, 200, 10);
            compare(AppModel.maximizedSessionID, top.record(1).id, "another pane's header switches to it");
            mouseDoubleClickSequence(b.header, 200, 10);
            compare(AppModel.maximizedSessionID, "");
            compare(saves.count, 0, "maximize is not saved");
        }

        function test_drag_from_header_sets_and_clears_the_drag_state() {
            const shell = makeShell(0, "running");
            const id = top.record(0).id;
            mousePress(shell.header, 200, 10);
            for (let i = 1; i <= 8; ++i)
                mouseMove(shell.header, 200 + i * 10, 10 + i * 10);
            tryCompare(shell, "dragging", true, 1000);
            compare(AppModel.draggingSessionID, id);
            compare(shell.dragProxy.Drag.mimeData["text/plain"], id);
            compare(id.length, 36);
            compare(id, id.toUpperCase());
            mouseRelease(shell.header, 280, 90);
            tryCompare(AppModel, "draggingSessionID", "", 1000);
            compare(AppModel.maximizedSessionID, "", "a drag is not a double click");
        }
    }
}
