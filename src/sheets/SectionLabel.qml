import QtQuick
import Brinmoor.App

// A small upper-case section title of the sheets.
Text {
    property real tracking: 0.6
    property real size: 11

    textFormat: Text.PlainText
    font.capitalization: Font.AllUppercase
    font.letterSpacing: tracking
    font.pointSize: Theme.fontSize(size)
    font.weight: Font.DemiBold
    color: Theme.hex("6b7280", 1)
}
