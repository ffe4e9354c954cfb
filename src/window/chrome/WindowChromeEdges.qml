pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.Window

// Thin grips along the edges and corners of the frameless window: pressing one hands the
// resize to the window manager. Absent while the window is maximised or in full screen.
Item {
    id: edges

    required property WindowChrome chrome
    property real grip: 5

    visible: !edges.chrome.fullScreen && !edges.chrome.maximized

    component Grip: MouseArea {
        required property int edgeFlags
        cursorShape: {
            const e = edgeFlags;
            const horizontal = (e & (Qt.LeftEdge | Qt.RightEdge)) !== 0;
            const vertical = (e & (Qt.TopEdge | Qt.BottomEdge)) !== 0;
            if (horizontal && vertical)
                return (e === (Qt.LeftEdge | Qt.TopEdge) || e === (Qt.RightEdge | Qt.BottomEdge))
                       ? Qt.SizeFDiagCursor : Qt.SizeBDiagCursor;
            return horizontal ? Qt.SizeHorCursor : Qt.SizeVerCursor;
        }
        onPressed: edges.chrome.startResize(edgeFlags)
    }

    Grip { edgeFlags: Qt.LeftEdge; x: 0; y: edges.grip; width: edges.grip; height: edges.height - 2 * edges.grip }
    Grip { edgeFlags: Qt.RightEdge; x: edges.width - edges.grip; y: edges.grip; width: edges.grip; height: edges.height - 2 * edges.grip }
    Grip { edgeFlags: Qt.TopEdge; x: edges.grip; y: 0; width: edges.width - 2 * edges.grip; height: edges.grip }
    Grip { edgeFlags: Qt.BottomEdge; x: edges.grip; y: edges.height - edges.grip; width: edges.width - 2 * edges.grip; height: edges.grip }
    Grip { edgeFlags: Qt.LeftEdge | Qt.TopEdge; x: 0; y: 0; width: edges.grip * 2; height: edges.grip * 2 }
    Grip { edgeFlags: Qt.RightEdge | Qt.TopEdge; x: edges.width - 2 * edges.grip; y: 0; width: edges.grip * 2; height: edges.grip * 2 }
    Grip { edgeFlags: Qt.LeftEdge | Qt.BottomEdge; x: 0; y: edges.height - 2 * edges.grip; width: edges.grip * 2; height: edges.grip * 2 }
    Grip { edgeFlags: Qt.RightEdge | Qt.BottomEdge; x: edges.width - 2 * edges.grip; y: edges.height - 2 * edges.grip; width: edges.grip * 2; height: edges.grip * 2 }
}
