import QtQuick
import Brinmoor.App

// The frame shared by the inline prompt cards (permission, question): a plain amber wash with a
// 1-point amber rule along the top.
Rectangle {
    color: Theme.pairWithOpacities("f0b429", 0.08, "f0b429", 0.14)
    Rectangle {
        width: parent.width
        height: 1
        color: Theme.hex("f0b429", 0.4)
    }
}
