import QtQuick
import Brinmoor.App

// The frame of the chat's tool and to-do cards: a rounded fill with a 1-point border.
Rectangle {
    radius: 8
    color: Theme.surfaceCard
    border.width: 1
    border.color: Theme.borderControl
}
