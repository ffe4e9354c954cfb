import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Sheets

Item {
    id: top
    width: 1000
    height: 700

    Component { id: addSheet; AddSessionSheet {} }
    Component { id: workspaceSheet; NewWorkspaceSheet {} }
    Component { id: onboardingView; OnboardingView { width: 800; height: 600 } }

    function savedState() { return JSON.parse(TestSupport.readFile(TestSupport.stateFilePath())); }

    TestCase {
        name: "StandInSheets"
        when: windowShown

        function initTestCase() {
            verify(AppModel.addWorkspace("Sheets", "5b8cee"));
        }

        function test_add_session_needs_a_folder() {
            AppModel.activeSheet = "addSession";
            const s = createTemporaryObject(addSheet, top);
            const before = AppModel.selectedSessions.count;
            mouseClick(findChild(s, "openButton"));
            compare(AppModel.selectedSessions.count, before);
            verify(findChild(s, "message").visible);
            compare(AppModel.activeSheet, "addSession", "the sheet stays open");
            AppModel.activeSheet = "";
        }

        function test_add_session_for_a_typed_folder_is_saved_and_closes() {
            AppModel.activeSheet = "addSession";
            const s = createTemporaryObject(addSheet, top);
            const field = findChild(s, "folderField");
            field.forceActiveFocus();
            for (const ch of "/tmp/typed-project")
                keyClick(ch);
            compare(s.folder, "/tmp/typed-project");
            keyClick(Qt.Key_Return);
            compare(AppModel.activeSheet, "");
            const last = AppModel.selectedSessions.get(AppModel.selectedSessions.count - 1);
            compare(last.directory, "/tmp/typed-project");
            compare(last.project, "typed-project");
            compare(last.kind, "terminal");
            const saved = top.savedState().workspaces.find(w => w.id === AppModel.selectedWorkspaceID);
            verify(saved.sessions.some(x => x.directory === "/tmp/typed-project"));
        }

        function test_choose_opens_the_folder_dialog_without_harm() {
            const s = createTemporaryObject(addSheet, top);
            mouseClick(findChild(s, "chooseButton"));
            wait(200);
            keyClick(Qt.Key_Escape);
            wait(100);
            verify(s !== null);
        }

        function test_cancel_closes_without_adding() {
            AppModel.activeSheet = "addSession";
            const s = createTemporaryObject(addSheet, top, { folder: "/tmp/never" });
            const before = AppModel.selectedSessions.count;
            mouseClick(findChild(s, "cancelButton"));
            compare(AppModel.activeSheet, "");
            compare(AppModel.selectedSessions.count, before);
        }

        function test_new_workspace_is_created_selected_and_saved() {
            AppModel.activeSheet = "newWorkspace";
            const s = createTemporaryObject(workspaceSheet, top, { name: "  Web  " });
            mouseClick(findChild(s, "createButton"));
            compare(AppModel.activeSheet, "");
            compare(AppModel.selectedWorkspace.name, "Web");
            compare(AppModel.selectedWorkspace.colorHex, "5b8cee");
            verify(top.savedState().workspaces.some(w => w.name === "Web"));
        }

        function test_new_workspace_without_a_name_does_nothing() {
            AppModel.activeSheet = "newWorkspace";
            const n = AppModel.workspaces.count;
            const s = createTemporaryObject(workspaceSheet, top, { name: "   " });
            s.create();
            compare(AppModel.workspaces.count, n);
            compare(AppModel.activeSheet, "newWorkspace");
            AppModel.activeSheet = "";
        }

        function test_onboarding_names_the_first_workspace_and_finishes() {
            const o = createTemporaryObject(onboardingView, top, { workspaceName: " First " });
            const n = AppModel.workspaces.count;
            mouseClick(findChild(o, "createButton"));
            compare(AppModel.workspaces.count, n + 1);
            compare(AppModel.selectedWorkspace.name, "First");
            compare(AppModel.showOnboarding, false);
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
