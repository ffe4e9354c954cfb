import QtQuick

// One step's content of the onboarding, centred in the space it is given; it fades in over
// 0.2 s when it becomes the current step and out when it stops being it.
Item {
    id: step

    property int index: 0
    property int current: 0
    default property alias content: holder.data

    objectName: "step" + step.index
    anchors.fill: parent
    opacity: step.index === step.current ? 1 : 0
    visible: step.opacity > 0
    enabled: step.index === step.current

    Behavior on opacity {
        NumberAnimation {
            duration: 200
            easing.type: Easing.InOutQuad
        }
    }
    Item {
        id: holder
        width: step.width
        height: childrenRect.height
        anchors.verticalCenter: parent.verticalCenter
    }
}
