import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Window

// Renders the pane frame in every state, in both themes, and the stopped card, into PNG files
// under the build folder (gallery/), for a person to look at; it checks the pictures' key pixels.
Item {
    id: top
    width: 1200
    height: 900

    Rectangle {
        id: sheet
        width: 1160
        height: 720
        color: Theme.canvas

        Grid {
            id: grid
            x: 20
            y: 20
            columns: 3
            spacing: 20
            Repeater {
                id: shells
                // Session 0 holds the focus; the others show the frame without it.
                model: [
                    { state: "running", row: 1, compact: false, note: "running" },
                    { state: "running", row: 0, compact: false, note: "running, focused" },
                    { state: "idle", row: 1, compact: false, note: "idle" },
                    { state: "awaiting", row: 0, compact: false, note: "awaiting (focused: no ring)" },
                    { state: "error", row: 1, compact: false, note: "error" },
                    { state: "stopped", row: 1, compact: false, note: "stopped" },
                    { state: "running", row: 1, compact: true, note: "running, compact" }
                ]
                delegate: PaneShell {
                    id: frame
                    required property var modelData
                    width: 360
                    height: 150
                    session: AppModel.selectedSessions && AppModel.selectedSessions.count > 1
                             ? AppModel.selectedSessions.get(frame.modelData.row) : null
                    paneState: frame.modelData.state
                    cost: frame.modelData.row === 1 ? "$0.37" : ""
                    compact: frame.modelData.compact
                    Text {
                        x: 10
                        y: 10
                        text: frame.modelData.note
                        color: Theme.textFaint
                        font.pointSize: Theme.fontSize(12)
                    }
                }
            }
            StoppedPlaceholder {
                width: 360
                height: 150
                session: AppModel.selectedSessions && AppModel.selectedSessions.count > 1 ? AppModel.selectedSessions.get(0) : null
            }
            StoppedPlaceholder {
                width: 360
                height: 150
                session: AppModel.selectedSessions && AppModel.selectedSessions.count > 1 ? AppModel.selectedSessions.get(1) : null
            }
            Column {
                spacing: 14
                Row {
                    spacing: 14
                    Repeater {
                        model: ["running", "idle", "awaiting", "error", "stopped"]
                        delegate: StateDot {
                            required property string modelData
                            paneState: modelData
                            size: 10
                        }
                    }
                }
                Row {
                    spacing: 8
                    Repeater {
                        model: ["running", "idle", "awaiting"]
                        delegate: ProjectStateDot {
                            required property string modelData
                            directory: "/tmp/gallery-" + modelData
                            paneState: modelData
                            size: 9
                        }
                    }
                    AutoApproveLock { size: 12 }
                    IconButton { systemName: "bell.fill"; size: 11; active: true }
                    IconButton { systemName: "bell.slash.fill"; size: 11 }
                    ProviderLogo { provider: "claude"; size: 14 }
                    ProviderLogo { provider: "codex"; size: 14 }
                }
                Row {
                    spacing: 8
                    PrimaryButton { title: "Create" }
                    PrimaryButton { title: "Violet"; violet: true }
                    SecondaryButton { title: "Cancel" }
                }
            }
        }
    }

    TestCase {
        name: "Gallery"
        when: windowShown

        function initTestCase() {
            verify(AppModel.addWorkspace("Gallery", "5b8cee"));
            verify(AppModel.addSession("terminal", "brinmoor", "~/src/brinmoor", false, "claude"));
            verify(AppModel.addSession("chat", "website", "~/src/website", true, "claude"));
            AppModel.rename(AppModel.selectedSessions.get(0).id, "brinmoor");
        }

        function shoot(name) {
            const path = TestSupport.galleryDir() + "/" + name + ".png";
            const img = grabImage(sheet);
            img.save(path);
            return img;
        }

        function test_frames_in_both_themes() {
            Theme.animationDuration = 0;
            Theme.dark = true;
            const focused = AppModel.selectedSessions.get(0).id;
            AppModel.focusPane(focused); // the last running frame shows focus
            tryCompare(AppModel, "focusedSessionID", focused, 1000);
            let img = shoot("paneshell_dark");
            // The canvas and a frame's body in the dark theme.
            verify(Qt.colorEqual(img.pixel(5, 5), "#060709"));
            verify(Qt.colorEqual(img.pixel(200, 120), "#0f1116"), "" + img.pixel(200, 120));
            Theme.dark = false;
            img = shoot("paneshell_light");
            verify(Qt.colorEqual(img.pixel(5, 5), "#e2e4e9"));
            verify(Qt.colorEqual(img.pixel(200, 120), "#f4f5f8"), "" + img.pixel(200, 120));
            Theme.dark = true;
        }

        function test_theme_change_animates_colours() {
            Theme.animationDuration = 0;
            Theme.dark = true;
            tryVerify(() => Qt.colorEqual(Theme.canvas, "#060709"), 1000);
            Theme.animationDuration = 300;
            const seen = [];
            const record = () => seen.push(Theme.canvas.r);
            Theme.canvasChanged.connect(record);
            Theme.dark = false;
            tryVerify(() => Qt.colorEqual(Theme.canvas, "#e2e4e9"), 2000);
            Theme.canvasChanged.disconnect(record);
            verify(seen.some(r => r > 0.05 && r < 0.85), "passes between the two canvases: " + seen);
            Theme.dark = true;
            tryVerify(() => Qt.colorEqual(Theme.canvas, "#060709"), 2000);
        }
    }
}
