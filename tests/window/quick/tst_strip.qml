import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Window

// The attention strip's chip: who needs the user shows on its dot.
Item {
    id: top
    width: 400
    height: 100

    Component {
        id: chipComponent
        AttentionStripChip {}
    }

    TestCase {
        name: "AttentionStripChip"
        when: windowShown

        function chip(state) {
            return createTemporaryObject(chipComponent, top, { session: {
                id: "c1", state: state, project: "api", groupID: "", sessionLabel: "", directory: "/tmp/api", autoApprove: false } });
        }

        function test_dot_follows_the_state_data() {
            return [{ tag: "awaiting", state: "awaiting", attention: true, color: Theme.amber, pulse: true },
                    { tag: "error", state: "error", attention: true, color: Theme.red, pulse: false },
                    { tag: "running", state: "running", attention: false, ring: true },
                    { tag: "idle", state: "idle", attention: false, ring: false }];
        }
        function test_dot_follows_the_state(data) {
            const c = chip(data.state);
            const attention = findChild(c, "attentionDot");
            const project = findChild(c, "projectDot");
            compare(attention.visible, data.attention);
            compare(project.visible, !data.attention);
            if (data.attention) {
                compare(findChild(attention, "shape").color, data.color);
                compare(attention.active, data.pulse, "only a waiting session breathes");
            } else {
                compare(findChild(project, "ring").visible, data.ring);
            }
        }
    }
}
