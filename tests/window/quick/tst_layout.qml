import QtQuick
import QtQuick.Controls
import QtTest
import Brinmoor.App
import Brinmoor.Chat
import Brinmoor.Window

// The whole main window at 1240 × 780 with sixteen panes (chat panes of both agents showing their
// cost and context figures, and terminals): in every layout the picker offers, no control of a
// pane covers another and none leaves its pane's frame; menus, pop-overs and the start-up notice
// stay inside the window and cover no control; the code preview's scroll bar and the Expand
// button's tooltip behave. Pictures of each layout go to gallery/layout_*.png.
Item {
    id: top
    width: 1240
    height: 780

    // Moved into the main window by its test, where the code preview covers it like any card of
    // a pane.
    CodeBlock {
        id: codeBlock
        x: 400
        y: 300
        width: 300
        visible: false
        title: "build.log"
        text: "line one of a long log\nline two\nline three\nline four\nline five\nline six\nline seven\nline eight"
    }

    Loader {
        id: mainLoader
        anchors.fill: parent
        active: false
        sourceComponent: MainWindowView {}
    }

    // Measures the start of a pane's name, as its header cuts it.
    TextMetrics {
        id: nameMetrics
    }

    TestCase {
        id: test
        name: "Layout"
        when: windowShown

        readonly property var names: ["website-frontend", "api", "brinmoor-desktop-client", "docs"]
        property string workspaceID: ""

        function initTestCase() {
            Theme.animationDuration = 0;
            // Every chat pane's agent reports a finished turn at once: its cost text and its
            // context figures are shown from the start.
            const figures = [
                { ev: { ev: "session", id: "conv-layout", model: "claude-opus-4-8" } },
                { ev: { ev: "context", tokens: 150000, window: 200000 } },
                { ev: { ev: "result", costUsd: 1.0366, isError: false, tokensIn: 41000, tokensOut: 700, durationMs: 10 } }
            ];
            if (!TestSupport.useFakeSidecar({ start: [figures] }))
                skip("Node is not installed: the chat panes cannot start their stand-in sidecar");
            const home = TestSupport.homePath() + "/picked";
            verify(AppModel.addWorkspace("Layout", "5b8cee"));
            test.workspaceID = AppModel.selectedWorkspace.id;
            for (let i = 0; i < 16; ++i) {
                const chat = i % 2 === 0;
                verify(AppModel.addSession(chat ? "chat" : "terminal", test.names[i % 4], home, i % 3 === 0,
                                           i % 4 === 2 ? "codex" : "claude"));
            }
            mainLoader.active = true;
            tryVerify(() => test.panes().length >= 4, 10000, "the grid shows its panes");
        }

        function cleanupTestCase() {
            mainLoader.active = false;
            if (test.workspaceID !== "")
                AppModel.deleteWorkspace(test.workspaceID);
            Theme.dark = true;
        }

        function all(name) {
            return TestSupport.itemsNamed(mainLoader, name);
        }
        // The panes whose content is built and on screen.
        function panes() {
            const grid = test.all("gridFlickable")[0];
            return test.all("paneView").filter(p => {
                if (!p.shell)
                    return false;
                const r = p.mapToItem(grid, 0, 0, p.width, p.height);
                return r.y >= -0.5 && r.y + r.height <= grid.height + 0.5;
            });
        }
        // What an item draws over, in `ref`'s coordinates: a text's laid-out glyphs, else its box.
        function extent(item, ref) {
            const text = item.contentWidth !== undefined && item.elide !== undefined;
            const w = text ? Math.min(item.contentWidth, Math.max(item.width, item.contentWidth)) : item.width;
            const dx = text && item.horizontalAlignment === Text.AlignRight ? item.width - w : 0;
            return item.mapToItem(ref, dx, 0, text ? Math.max(item.contentWidth, 0) : w, item.height);
        }
        function overlaps(a, b) {
            return a.x < b.x + b.width - 0.5 && b.x < a.x + a.width - 0.5
                && a.y < b.y + b.height - 0.5 && b.y < a.y + a.height - 0.5;
        }
        function inside(a, b, inset) {
            return a.x >= b.x + inset - 0.5 && a.y >= b.y + inset - 0.5
                && a.x + a.width <= b.x + b.width - inset + 0.5 && a.y + a.height <= b.y + b.height - inset + 0.5;
        }
        function shown(item) {
            for (let it = item; it; it = it.parent)
                if (!it.visible)
                    return false;
            return item.width > 0 && item.height > 0;
        }
        function describe(r) {
            return "(" + [r.x, r.y, r.width, r.height].map(v => Math.round(v)).join(",") + ")";
        }
        function named(root, names) {
            return names.map(n => findChild(root, n)).filter(it => it !== null && test.shown(it));
        }

        // What the panes still wait for (their composers, their figures); "" when nothing.
        function pending() {
            for (const pane of test.panes()) {
                if (pane.kind !== "chat")
                    continue;
                if (!pane.content || !findChild(pane.content, "chatInputBar"))
                    return pane.session.project + ": no composer yet";
                if (pane.shell.cost === "")
                    return pane.session.project + ": no cost text yet";
            }
            return "";
        }

        // Every way a pane's controls go wrong, as readable lines; "" when none.
        function problems() {
            const waiting = test.pending();
            if (waiting !== "")
                return waiting;
            const out = [];
            for (const pane of test.panes()) {
                const shell = pane.shell;
                const frame = Qt.rect(0, 0, shell.width, shell.height);
                const label = pane.session.project + "@" + Math.round(pane.mapToItem(top, 0, 0).x);
                // Until the header's row is laid out again after a change, its places are stale:
                // a laid-out row has each item where the one before it ends, plus the spacing.
                const header = findChild(shell, "headerRow");
                const laid = [];
                for (let i = 0; i < header.children.length; ++i)
                    if (header.children[i].visible)
                        laid.push(header.children[i]);
                for (let i = 1; i < laid.length; ++i)
                    if (Math.abs(laid[i].x - (laid[i - 1].x + laid[i - 1].width + header.spacing)) > 0.5)
                        return [label + ": the header is not laid out yet"];
                const groups = [
                    test.named(shell, ["stateDot", "projectName", "sessionLabel", "providerLogo", "autoApproveLock",
                                       "cost", "accessoryItemSlot", "muteButton", "maximizeButton", "overflowMenu"])
                ];
                // The name is cut below ten letters only after the cost text has given way, and
                // never below a letter.
                const name = findChild(shell, "projectName");
                const cost = findChild(shell, "cost");
                nameMetrics.font = name.font;
                nameMetrics.text = name.text.slice(0, 10) + "\u2026";
                if (name.truncated && test.shown(cost) && name.width + 0.5 < nameMetrics.advanceWidth)
                    out.push(label + ": the cost text \"" + cost.text + "\" keeps its room while the name is cut short");
                nameMetrics.text = name.text.charAt(0) + "\u2026";
                if (name.width + 0.5 < nameMetrics.advanceWidth)
                    out.push(label + ": the name is cut below a letter (" + Math.round(name.width) + " px)");
                const content = pane.content;
                if (pane.kind === "chat") {
                    // The editor's box holds the placeholder.
                    const placeholder = findChild(content, "placeholder");
                    const box = placeholder.parent;
                    groups.push([box, findChild(content, "sendButton")]);
                    groups.push(test.named(content, ["attachButton", "modePill", "contextGauge", "modelPill"]));
                    // Texts inside the boxes that hold them.
                    if (test.shown(placeholder)
                            && !test.inside(test.extent(placeholder, shell), test.extent(box, shell), 1))
                        out.push(label + ": the placeholder leaves the editor " + test.describe(test.extent(placeholder, shell)));
                    // The empty pane's hint shows whole lines only, inside the list.
                    const hint = findChild(content, "emptyHint");
                    const list = findChild(content, "timeline");
                    if (hint && test.shown(hint) && hint.mapToItem(list, 0, hint.height).y > list.height + 0.5)
                        out.push(label + ": the empty pane's hint runs past the list's foot");
                    for (const pill of test.named(content, ["modePill", "modelPill"])) {
                        const text = findChild(pill, "pillText");
                        if (text && test.shown(text) && !test.inside(test.extent(text, shell), test.extent(pill, shell), 1))
                            out.push(label + ": " + pill.objectName + "'s text leaves it");
                    }
                }
                for (const group of groups) {
                    for (let i = 0; i < group.length; ++i) {
                        const a = test.extent(group[i], shell);
                        if (!test.inside(a, frame, 1.5))
                            out.push(label + ": " + group[i].objectName + " " + test.describe(a) + " leaves the frame "
                                     + test.describe(frame));
                        for (let j = i + 1; j < group.length; ++j) {
                            const b = test.extent(group[j], shell);
                            if (test.overlaps(a, b))
                                out.push(label + ": " + group[i].objectName + " " + test.describe(a) + " covers "
                                         + group[j].objectName + " " + test.describe(b));
                        }
                    }
                }
            }
            return out.join("\n");
        }

        // Waits until `check` (which describes what is wrong) says nothing; else fails with what it
        // said last.
        function waitUntilNone(check, timeout) {
            tryCompare({ get issues() { return check(); } }, "issues", "", timeout);
        }

        function layoutPanes(columns, rows) {
            if (columns === 0)
                AppModel.setGridLayout(undefined, 4);
            else
                AppModel.setGridLayout(columns, rows);
            const grid = test.all("gridFlickable")[0];
            grid.contentY = 0;
            // The size of a pane in that layout (the grid's own rules): rows beyond the limit scroll.
            const needed = Math.ceil(16 / Math.max(columns, 1));
            const shownRows = Math.min(needed, rows);
            const want = Qt.size((grid.width - 10 * (columns - 1)) / columns,
                                 Math.max(needed > rows ? 240 : 0, (grid.height - 10 * (shownRows - 1)) / shownRows));
            test.waitUntilNone(() => {
                const p = test.panes();
                if (p.length >= Math.max(columns, 1) && (columns === 0 || (Math.abs(p[0].width - want.width) < 1
                                                                           && Math.abs(p[0].height - want.height) < 1)))
                    return "";
                return p.length + " panes, the first " + (p.length ? p[0].width + " × " + p[0].height : "none")
                        + ", not " + want.width + " × " + want.height;
            }, 10000);
            // Rows and columns inside the panes take their places before the next frame.
            waitForRendering(mainLoader.item, 5000);
        }

        function shoot(name) {
            const img = grabImage(top);
            img.save(TestSupport.galleryDir() + "/layout_" + name + ".png");
        }

        function test_1_every_layout_keeps_each_control_clear_and_inside_its_pane_data() {
            return [
                { tag: "4x1", c: 4, r: 1 },
                { tag: "2x2", c: 2, r: 2 },
                { tag: "3x3", c: 3, r: 3 },
                { tag: "4x4", c: 4, r: 4 },
                { tag: "auto", c: 0, r: 4 }
            ];
        }
        function test_1_every_layout_keeps_each_control_clear_and_inside_its_pane(data) {
            test.layoutPanes(data.c, data.r);
            for (const dark of [true, false]) {
                Theme.dark = dark;
                // The figures and composers arrive as each pane's stand-in agent starts. The
                // picture is taken whatever the outcome, to show what went wrong.
                try {
                    test.waitUntilNone(() => test.problems(), 15000);
                } finally {
                    test.shoot(data.tag + (dark ? "_dark" : "_light"));
                }
            }
            Theme.dark = true;
        }

        // Opens a pop-over by clicking `opener`, and says how it lies in the window.
        function popupProblems(opener, popup) {
            verify(opener !== null && popup !== null, "the opener and its pop-over");
            mouseClick(opener);
            tryCompare(popup, "opened", true, 5000, popup.objectName + " opens");
            const r = popup.background.mapToItem(top, 0, 0, popup.background.width, popup.background.height);
            const out = [];
            if (!test.inside(r, Qt.rect(0, 0, top.width, top.height), 4))
                out.push(popup.objectName + " " + test.describe(r) + " is not inside the window, clear of its edges");
            popup.close();
            tryCompare(popup, "visible", false);
            return out;
        }

        function init() {
            AppModel.codePreview = null;
        }

        // The vertical scroll bar below `item`.
        function scrollBarIn(item) {
            if (item.orientation === Qt.Vertical && item.policy !== undefined)
                return item;
            for (let i = 0; i < item.children.length; ++i) {
                const found = test.scrollBarIn(item.children[i]);
                if (found)
                    return found;
            }
            return null;
        }

        function test_2_menus_and_popovers_open_inside_the_window() {
            test.layoutPanes(4, 1);
            test.waitUntilNone(() => test.pending(), 15000);
            const row = test.panes().sort((a, b) => a.mapToItem(top, 0, 0).x - b.mapToItem(top, 0, 0).x);
            const leftChat = row.filter(p => p.kind === "chat")[0];
            const rightChat = row.filter(p => p.kind === "chat").pop();
            const rightmost = row[row.length - 1];
            verify(rightmost.mapToItem(top, rightmost.width, 0).x > top.width - 20, "the last pane ends at the window's edge");

            // The pane menu of the rightmost pane: inside the window, every title whole.
            const paneMenu = findChild(rightmost.shell, "overflowMenu");
            let out = test.popupProblems(findChild(paneMenu, "menuButton"), paneMenu.menu);
            mouseClick(findChild(paneMenu, "menuButton"));
            tryCompare(paneMenu.menu, "opened", true);
            const menuBox = paneMenu.menu.background;
            for (let i = 0; i < paneMenu.menu.count; ++i) {
                const item = paneMenu.menu.itemAt(i);
                const texts = [];
                test.collectTexts(item.contentItem, texts);
                for (const t of texts)
                    if (!test.inside(test.extent(t, menuBox), Qt.rect(0, 0, menuBox.width, menuBox.height), 2))
                        out.push("\"" + t.text + "\" is cut by the menu's edge");
            }
            TestSupport.grabWindow(top, "layout_pane_menu");
            paneMenu.menu.close();
            compare(out.join("\n"), "", "the pane menu");

            // The chat panes' pop-overs, from the panes at the window's two sides, and the top bar's.
            for (const [pane, opener, popup] of [[rightChat, "modePill", "modesPopup"], [leftChat, "modelPill", "modelPopup"],
                                                 [leftChat, "historyButton", "historyPopup"]]) {
                const control = findChild(pane.content, opener);
                out = out.concat(test.popupProblems(control, findChild(control, popup)));
            }
            const picker = test.all("layoutPicker")[0];
            out = out.concat(test.popupProblems(picker, findChild(picker, "layoutPopover")));
            const usage = test.all("claudeUsageButton")[0];
            out = out.concat(test.popupProblems(usage, findChild(usage, "usagePopover")));
            compare(out.join("\n"), "");
        }
        function collectTexts(item, out) {
            if (item.text !== undefined && item.contentWidth !== undefined)
                out.push(item);
            for (let i = 0; i < item.children.length; ++i)
                test.collectTexts(item.children[i], out);
        }

        function test_2_startup_notice_covers_no_control() {
            test.layoutPanes(2, 2);
            test.waitUntilNone(() => test.pending(), 15000);
            const notice = test.all("noticeArea").length ? findChild(mainLoader.item, "startupNotice") : null;
            verify(notice !== null, "the main window shows the start-up notice itself");
            notice.text = "2 sessions could not be read and were left out. The original file was copied to "
                          + "/home/someone/.local/share/Brinmoor/state.json.unreadable-20250101-120000.";
            const grid = test.all("gridFlickable")[0];
            tryVerify(() => test.shown(notice)
                      && !test.overlaps(notice.mapToItem(top, 0, 0, notice.width, notice.height),
                                        grid.mapToItem(top, 0, 0, grid.width, grid.height)),
                      5000, "the panes make room for the notice");
            const box = notice.mapToItem(top, 0, 0, notice.width, notice.height);
            verify(test.inside(box, Qt.rect(0, 0, top.width, top.height), 4), "inside the window " + test.describe(box));
            for (const send of test.all("sendButton"))
                verify(!test.overlaps(box, send.mapToItem(top, 0, 0, send.width, send.height)), "no send button under it");
            test.shoot("startup_notice");
            notice.text = "";
            tryVerify(() => Math.abs(grid.mapToItem(top, 0, grid.height).y - (top.height - 12)) < 1, 5000,
                      "closed, the panes take the room back");
        }

        function test_5_code_preview_scroll_bar_data() {
            const many = Array.from({ length: 200 }, (_, i) => "line " + (i + 1)).join("\n");
            return [
                { tag: "plain, four lines", content: "one\ntwo\nthree\nfour", markdown: false, diff: false, scrolls: false },
                { tag: "plain, 200 lines", content: many, markdown: false, diff: false, scrolls: true },
                { tag: "markdown, 200 lines", content: many.split("\n").join("\n\n"), markdown: true, diff: false, scrolls: true },
                { tag: "diff, four lines", content: "+a\n-b\n c\n+d", markdown: false, diff: true, scrolls: false },
                { tag: "diff, 200 lines", content: many.replace(/line/g, "+line"), markdown: false, diff: true, scrolls: true }
            ];
        }
        function test_5_code_preview_scroll_bar(data) {
            AppModel.showCodePreview("preview.txt", data.content, data.markdown, data.diff);
            const layer = test.all("codePreviewView")[0];
            tryVerify(() => layer.item !== null && test.scrollBarIn(layer.item) !== null, 5000);
            const card = findChild(layer.item, "card");
            const bar = test.scrollBarIn(layer.item);
            tryCompare(bar, "visible", data.scrolls, 5000, "a scroll bar only when the content scrolls");
            if (data.scrolls) {
                const r = bar.mapToItem(card, 0, 0, bar.width, bar.height);
                const title = findChild(card, "titleBar");
                verify(r.y >= title.height, "under the title bar " + test.describe(r));
                verify(r.x + r.width <= card.width - 1, "inside the card's border " + test.describe(r));
                verify(r.y + r.height <= card.height - card.radius, "clear of the rounded corner " + test.describe(r));
            }
            test.shoot("code_preview_" + data.tag.replace(/[, ]+/g, "_"));
            AppModel.codePreview = null;
            tryCompare(layer, "item", null);
        }

        function test_5_expand_tooltip_goes_when_the_preview_opens() {
            codeBlock.parent = test.all("mainArea")[0];
            codeBlock.visible = true;
            const expand = findChild(codeBlock, "expandButton");
            verify(test.shown(expand));
            mouseMove(expand, expand.width / 2, expand.height / 2);
            tryCompare(expand.ToolTip, "visible", true, 5000, "the tooltip shows while hovered");
            tryCompare(expand.ToolTip.toolTip, "opened", true);
            mouseClick(expand);
            const layer = test.all("codePreviewView")[0];
            tryVerify(() => layer.item !== null, 5000, "the preview opens");
            tryCompare(expand.ToolTip.toolTip, "visible", false, 5000, "no tooltip over the preview");
            AppModel.codePreview = null;
            tryCompare(layer, "item", null);
            codeBlock.visible = false;
        }

        function test_1_wide_panes_show_the_whole_header() {
            test.layoutPanes(2, 2);
            const chat = test.panes().filter(p => p.kind === "chat")[0];
            const cost = findChild(chat.shell, "cost");
            tryVerify(() => test.shown(cost) && cost.text === "41.7k · $1.0366", 15000, "the full cost text shows");
            // The row is laid out again before the next frame.
            tryCompare(cost, "contentWidth", cost.implicitWidth);
            const name = findChild(chat.shell, "projectName");
            tryCompare(name, "contentWidth", name.implicitWidth, 5000, "the whole name");
            verify(test.shown(findChild(chat.shell, "sessionLabel")), "the session label has room too");
            for (const name of ["modePill", "modelPill"]) {
                const text = findChild(findChild(chat.content, name), "pillText");
                verify(test.shown(text), name + " shows its text");
                compare(text.contentWidth, text.implicitWidth, name + " shows its whole text");
            }
        }
    }
}
