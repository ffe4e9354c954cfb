import QtQuick
import Brinmoor.App

// A small wrapping note of the onboarding: 2 points between lines, never cut.
Text {
    wrapMode: Text.Wrap
    lineHeightMode: Text.FixedHeight
    lineHeight: Math.ceil(fontInfo.pixelSize * 1.2) + 2
    textFormat: Text.PlainText
    color: Theme.pair("5a616b", "9097a1", 1)
    font.pointSize: Theme.fontSize(11)
}
