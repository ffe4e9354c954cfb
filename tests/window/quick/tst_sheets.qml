import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Sheets

Item {
    id: top
    width: 1000
    height: 760

    Component { id: addSheet; AddSessionSheet {} }
    Component { id: workspaceSheet; NewWorkspaceSheet {} }
    Component { id: tabTaker; TextInput { width: 100; height: 20; activeFocusOnTab: true } }
    Component { id: onboardingView; OnboardingView { width: 800; height: 600 } }
    // A status card on the sheet's surface, as the add-session sheet and the onboarding show it.
    Component {
        id: cardOnSheet
        Rectangle {
            property alias card: statusCard
            width: 340
            height: 80
            color: Theme.surfaceRaised
            ProviderStatusCard { id: statusCard; x: 20; y: 10; width: 300 }
        }
    }
    property providerInfo readyInfo
    property providerInfo brokenInfo
    property providerInfo slowShellInfo

    SignalSpy { id: claudeDetected; target: AppModel; signalName: "claudeChanged" }

    function savedState() { return JSON.parse(TestSupport.readFile(TestSupport.stateFilePath())); }
    // Every visible item under `at` whose objectName (or, with byText, text) is `name`.
    function itemsNamed(at, name, byText) {
        let out = [];
        for (let i = 0; i < at.children.length; ++i) {
            const c = at.children[i];
            if (!c.visible)
                continue;
            if (byText ? c.text === name : c.objectName === name)
                out.push(c);
            out = out.concat(top.itemsNamed(c, name, byText));
        }
        return out;
    }
    function lastSession() { return AppModel.selectedSessions.get(AppModel.selectedSessions.count - 1); }

    TestCase {
        name: "Sheets"
        when: windowShown

        function initTestCase() {
            verify(AppModel.addWorkspace("Sheets", "5b8cee"));
        }

        function test_add_session_without_recents_needs_a_folder() {
            AppModel.activeSheet = "addSession";
            const s = createTemporaryObject(addSheet, top, { recents: [] });
            compare(s.selectedDir, "");
            compare(findChild(s, "hint").text, "pick a folder");
            compare(findChild(s, "browseText").text, "Choose a folder…");
            compare(findChild(s, "openButton").opacity, 0.5);
            const before = AppModel.selectedSessions.count;
            mouseClick(findChild(s, "openButton"));
            compare(AppModel.selectedSessions.count, before);
            compare(AppModel.activeSheet, "addSession", "the sheet stays open");
            AppModel.activeSheet = "";
        }

        function test_terminal_opens_in_the_preselected_recent_folder() {
            AppModel.rememberRecent("/tmp/older");
            AppModel.rememberRecent("/tmp/newest");
            AppModel.activeSheet = "addSession";
            const s = createTemporaryObject(addSheet, top);
            compare(s.selectedDir, "/tmp/newest", "the most recent folder is preselected");
            compare(findChild(s, "hint").text, "⏎ to open");
            compare(findChild(s, "browseText").text, "Browse for another folder…");
            verify(findChild(s, "providerSection").visible);
            mouseClick(findChild(s, "codexChip"));
            compare(findChild(s, "subtitle").text, "Opens a new Codex chat pane in the grid");
            mouseClick(findChild(s, "terminalChip"));
            verify(!findChild(s, "providerSection").visible, "Terminal hides the provider and its status");
            compare(findChild(s, "subtitle").text, "Opens a new terminal pane in the grid");
            mouseClick(findChild(s, "openButton"));
            compare(AppModel.activeSheet, "");
            const last = top.lastSession();
            compare(last.kind, "terminal");
            compare(last.provider, "claude", "a terminal always records Claude");
            compare(last.directory, "/tmp/newest");
            compare(last.project, "newest");
            verify(top.savedState().recents[0] === "/tmp/newest");
        }

        function test_chat_opens_for_the_chosen_provider_and_folder() {
            AppModel.rememberRecent("/tmp/older");
            AppModel.rememberRecent("/tmp/newest");
            AppModel.activeSheet = "addSession";
            const s = createTemporaryObject(addSheet, top);
            const rows = top.itemsNamed(s, "dirRow");
            const older = rows.filter(r => r.path === "/tmp/older");
            compare(older.length, 1);
            mouseClick(older[0]);
            compare(s.selectedDir, "/tmp/older");
            mouseClick(findChild(s, "codexChip"));
            tryVerify(() => !!AppModel.codex, 20000, "the Codex detection ran");
            grabImage(s).save(TestSupport.galleryDir() + "/sheet_add_session_codex.png");
            keyClick(Qt.Key_Return);
            compare(AppModel.activeSheet, "");
            compare(top.lastSession().kind, "chat");
            compare(top.lastSession().provider, "codex");
            compare(AppModel.recents[0], "/tmp/older");
        }

        function test_chooser_adds_a_new_folder_on_top_selected() {
            AppModel.rememberRecent("/tmp/older");
            const s = createTemporaryObject(addSheet, top);
            const dialog = findChild(s, "folderChooser");
            mouseClick(findChild(s, "browseRow"));
            tryVerify(() => dialog.visible);
            // No recent folder of this run exists: the chooser opens at home.
            compare(dialog.folder, TestSupport.homePath());
            // As a user would: click the folder in the chooser's list, then "Choose".
            let entry = [];
            tryVerify(() => (entry = top.itemsNamed(top.Window.window.contentItem, "picked", true)).length > 0);
            mouseClick(entry[0]);
            const choose = top.itemsNamed(top.Window.window.contentItem, "Choose", true);
            verify(choose.length > 0);
            mouseClick(choose[choose.length - 1]);
            tryVerify(() => !dialog.visible);
            compare(s.selectedDir, TestSupport.homePath() + "/picked");
            compare(s.dirOptions[0], s.selectedDir);
            compare(findChild(s, "displayPath").text, "~/picked");
        }

        function test_cancel_closes_without_adding() {
            AppModel.activeSheet = "addSession";
            const s = createTemporaryObject(addSheet, top);
            const before = AppModel.selectedSessions.count;
            mouseClick(findChild(s, "cancelButton"));
            compare(AppModel.activeSheet, "");
            compare(AppModel.selectedSessions.count, before);
        }

        // An item behind the sheet takes Tab, as the terminal panes do: Tab and Shift+Tab never
        // reach it, and Return creates one workspace, from the name field or the sheet itself.
        function test_sheets_keep_tab_and_return_to_themselves() {
            const behind = createTemporaryObject(tabTaker, top);
            const sheets = [
                { component: workspaceSheet, sheet: "newWorkspace", stays: "nameField" },
                { component: addSheet, sheet: "addSession", stays: "addSessionSheet" },
            ];
            for (const c of sheets) {
                AppModel.activeSheet = c.sheet;
                const s = createTemporaryObject(c.component, top, { recents: [] });
                const holder = c.stays === s.objectName ? s : findChild(s, c.stays);
                holder.forceActiveFocus();
                const keys = [[Qt.Key_Tab, Qt.NoModifier], [Qt.Key_Tab, Qt.NoModifier], [Qt.Key_Tab, Qt.ShiftModifier],
                              [Qt.Key_Backtab, Qt.ShiftModifier], [Qt.Key_Backtab, Qt.ShiftModifier]];
                for (const [key, modifiers] of keys) {
                    keyClick(key, modifiers);
                    verify(holder.activeFocus, c.sheet + ": the sheet keeps the keyboard");
                    verify(!behind.activeFocus, c.sheet);
                }
                keyClick(Qt.Key_Escape);
                compare(AppModel.activeSheet, "", c.sheet + ": Escape closes");
            }
            AppModel.activeSheet = "newWorkspace";
            const s = createTemporaryObject(workspaceSheet, top);
            const count = top.savedState().workspaces.length;
            for (const focus of [findChild(s, "nameField"), s]) {
                AppModel.activeSheet = "newWorkspace";
                focus.forceActiveFocus();
                keyClick(Qt.Key_Return);
                compare(AppModel.activeSheet, "");
                compare(top.savedState().workspaces.length, count + (focus === s ? 2 : 1), "one workspace per Return");
            }
        }

        function test_new_workspace_untouched_is_untitled_with_the_first_tag() {
            AppModel.activeSheet = "newWorkspace";
            const s = createTemporaryObject(workspaceSheet, top);
            verify(findChild(s, "swatch_5b8cee").children[1].visible, "the first tag carries the ring");
            mouseClick(findChild(s, "createButton"));
            compare(AppModel.activeSheet, "");
            compare(AppModel.selectedWorkspace.name, "Untitled");
            compare(AppModel.selectedWorkspace.colorHex, "5b8cee");
            verify(top.savedState().workspaces.some(w => w.name === "Untitled"));
        }

        function test_new_workspace_name_is_trimmed_and_the_picked_tag_kept() {
            AppModel.activeSheet = "newWorkspace";
            const s = createTemporaryObject(workspaceSheet, top);
            const field = findChild(s, "nameField");
            field.forceActiveFocus();
            for (const ch of "  Q3 Web ")
                keyClick(ch);
            mouseClick(findChild(s, "swatch_4aa37e"));
            grabImage(s).save(TestSupport.galleryDir() + "/sheet_new_workspace.png");
            verify(!findChild(s, "swatch_5b8cee").children[1].visible);
            field.forceActiveFocus();
            keyClick(Qt.Key_Return);
            compare(AppModel.activeSheet, "");
            compare(AppModel.selectedWorkspace.name, "Q3 Web");
            compare(AppModel.selectedWorkspace.colorHex, "4aa37e");
        }

        // A pasted override shows in the name field as its mark, in its box, and the workspace is
        // made with the character itself; the mark's text typed stays text.
        function test_new_workspace_name_shows_a_pasted_override_as_a_mark_and_keeps_it() {
            const cases = [
                { paste: "ws\u202Egpj.exe", shown: "ws<U+202E>gpj.exe", boxes: 1, name: "ws\u202Egpj.exe" },
                { keys: "ws<U+202E>gpj.exe", shown: "ws<U+202E>gpj.exe", boxes: 0, name: "ws<U+202E>gpj.exe" },
            ];
            for (const c of cases) {
                AppModel.activeSheet = "newWorkspace";
                const s = createTemporaryObject(workspaceSheet, top);
                const field = findChild(s, "nameField");
                field.forceActiveFocus();
                if (c.paste !== undefined) {
                    TestSupport.setClipboardText(c.paste);
                    keyClick(Qt.Key_V, Qt.ControlModifier);
                }
                for (const ch of c.keys || "")
                    keyClick(ch);
                compare(field.text, c.shown);
                compare(TestSupport.itemsNamed(field, "markBox").length, c.boxes);
                keyClick(Qt.Key_Return);
                compare(AppModel.activeSheet, "");
                compare(AppModel.selectedWorkspace.name, c.name);
            }
        }

        function test_onboarding_card_is_light_in_the_light_palette() {
            Theme.animationDuration = 0;
            Theme.dark = false;
            const o = createTemporaryObject(onboardingView, top);
            o.flow.advance();
            tryVerify(() => !findChild(o, "step0").visible);
            grabImage(o).save(TestSupport.galleryDir() + "/onboarding_tools_light.png");
            o.flow.advance();
            o.flow.wsName = "Web";
            o.flow.advance();
            tryVerify(() => findChild(o, "step3").opacity === 1 && !findChild(o, "step0").visible);
            const img = grabImage(o);
            img.save(TestSupport.galleryDir() + "/onboarding_tip_light.png");
            const card = findChild(o, "onboardingCard");
            const inside = card.mapToItem(o, 30, 60);
            verify(img.pixel(inside.x, inside.y).hslLightness > 0.8, "light card");
            verify(img.pixel(5, 5).hslLightness > 0.8, "light backdrop");
            Theme.dark = true;
            Theme.animationDuration = 300;
        }

        // WCAG 2 relative luminance and contrast ratio.
        function luminance(c) {
            const f = v => v <= 0.04045 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4);
            return 0.2126 * f(c.r) + 0.7152 * f(c.g) + 0.0722 * f(c.b);
        }
        function contrast(a, b) {
            const la = luminance(a), lb = luminance(b);
            return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05);
        }

        // The ready Claude card's green title and its detail read at 4.5:1 or more on the card
        // as drawn (its green tint over the sheet), in both palettes.
        function test_claude_ready_card_reads_in_both_palettes() {
            Theme.animationDuration = 0;
            top.readyInfo.found = true;
            top.readyInfo.authed = true;
            const sheet = createTemporaryObject(cardOnSheet, top);
            sheet.card.info = top.readyInfo;
            compare(sheet.card.state, "ready");
            for (const dark of [true, false]) {
                Theme.dark = dark;
                waitForRendering(sheet);
                const image = grabImage(sheet);
                image.save(TestSupport.galleryDir() + "/claude_ready_card_" + (dark ? "dark" : "light") + ".png");
                const backdrop = image.pixel(sheet.card.x + sheet.card.width / 2, sheet.card.y + 4);
                for (const name of ["statusTitle", "statusDetail"]) {
                    const ratio = contrast(findChild(sheet.card, name).color, backdrop);
                    verify(ratio >= 4.5, `${name} ${dark ? "dark" : "light"}: ${ratio.toFixed(2)}:1`);
                }
            }
            Theme.dark = true;
            Theme.animationDuration = 300;
        }

        // A tool found but not answering as the tool: never the green "detected", no login to
        // offer; the card says what went wrong, the tool's own error included.
        function test_a_tool_that_cannot_run_is_not_shown_as_detected() {
            top.brokenInfo.found = true;
            top.brokenInfo.authed = true;  // whatever it claims, the problem wins
            top.brokenInfo.path = "/home/u/.local/bin/claude";
            top.brokenInfo.problem = "/home/u/.local/bin/claude can't run: cannot execute: required file not found";
            const sheet = createTemporaryObject(cardOnSheet, top);
            sheet.card.info = top.brokenInfo;
            compare(sheet.card.state, "problem");
            compare(findChild(sheet.card, "statusTitle").text, "Claude Code is not working");
            compare(findChild(sheet.card, "statusDetail").text, top.brokenInfo.problem);
            verify(!findChild(sheet.card, "loginButton").visible);
            verify(!findChild(sheet.card, "cancelLoginButton").visible);
            waitForRendering(sheet);
            grabImage(sheet).save(TestSupport.galleryDir() + "/claude_cannot_run_card.png");
        }

        // A login shell that did not finish starting in time: a tool seen at its install place is
        // "found", never "not found" with the install box; one the shell alone could have named is
        // "not checked"; either way the card says why and offers the detection again, whose record
        // replaces this one.
        function test_a_login_shell_too_slow_to_start_never_shows_a_tool_as_missing() {
            const cases = [
                { provider: "claude", found: true, path: "/home/u/.local/bin/claude", title: "Claude Code found" },
                { provider: "codex", found: true, path: "/home/u/.local/bin/codex", title: "Codex CLI found" },
                { provider: "claude", found: false, path: "", title: "Claude Code not checked" },
                { provider: "codex", found: false, path: "", title: "Codex CLI not checked" },
            ];
            for (const c of cases) {
                top.slowShellInfo.found = c.found;
                top.slowShellInfo.shellTimedOut = true;
                top.slowShellInfo.problem = c.found
                    ? `${c.path}: the login shell did not finish starting within 15 s, so its version and sign-in were not checked.`
                    : `The login shell did not finish starting within 15 s, so its PATH was not searched for ${c.provider}.`;
                const sheet = createTemporaryObject(cardOnSheet, top);
                sheet.card.provider = c.provider;
                sheet.card.info = top.slowShellInfo;
                compare(sheet.card.state, "shellTimedOut", c.title);
                compare(findChild(sheet.card, "statusTitle").text, c.title);
                compare(findChild(sheet.card, "statusDetail").text, top.slowShellInfo.problem);
                verify(findChild(sheet.card, "statusDetail").visible);
                verify(!findChild(sheet.card, "commandBox").visible, c.title);
                verify(!findChild(sheet.card, "loginButton").visible, c.title);
                verify(findChild(sheet.card, "checkAgainButton").visible, c.title);
                compare(findChild(sheet.card, "checkAgainText").text, "Check again");
                if (c.found && c.provider === "claude") {
                    waitForRendering(sheet);
                    sheet.height = sheet.card.implicitHeight + 20;
                    waitForRendering(sheet);
                    grabImage(sheet).save(TestSupport.galleryDir() + "/claude_slow_shell_card.png");
                }
            }
            // The ordinary card beside it: a tool that is really missing shows the install box, no retry.
            const missing = createTemporaryObject(cardOnSheet, top);
            top.slowShellInfo.found = false;
            top.slowShellInfo.shellTimedOut = false;
            top.slowShellInfo.problem = "";
            missing.card.info = top.slowShellInfo;
            compare(findChild(missing.card, "statusTitle").text, "Claude Code not found");
            verify(findChild(missing.card, "commandBox").visible);
            verify(!findChild(missing.card, "checkAgainButton").visible);

            const sheet = createTemporaryObject(cardOnSheet, top);
            top.slowShellInfo.shellTimedOut = true;
            sheet.card.info = top.slowShellInfo;
            claudeDetected.clear();
            mouseClick(findChild(sheet.card, "checkAgainButton"));
            compare(findChild(sheet.card, "checkAgainText").text, "Checking…");
            mouseClick(findChild(sheet.card, "checkAgainButton"));  // one check at a time
            claudeDetected.wait(30000);
            compare(claudeDetected.count, 1);
            compare(AppModel.claudeDetecting, false);
            compare(findChild(sheet.card, "checkAgainText").text, "Check again");
        }

        function test_onboarding_skip_finishes_without_a_workspace() {
            const o = createTemporaryObject(onboardingView, top);
            const n = AppModel.workspaces.count;
            mouseClick(findChild(o, "skipButton"));
            compare(AppModel.workspaces.count, n);
            compare(AppModel.showOnboarding, false);
        }
    }
}
