import QtQuick
import Brinmoor.App
import Brinmoor.Window

// The badge of a session that approves its tools by itself.
SymbolIcon {
    name: "lock.open.fill"
    size: 10
    color: Theme.hex("c2a8f8", 1)
}
