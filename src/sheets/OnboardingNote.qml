import QtQuick
import Brinmoor.App

// A small wrapping note of the onboarding: 2 points between lines, never cut.
Text {
    wrapMode: Text.Wrap
    lineHeightMode: Text.FixedHeight
    lineHeight: Math.ceil(fontInfo.pixelSize * 1.2) + 2
    textFormat: Text.PlainText
    color: Theme.textFaint
    font.pointSize: Theme.fontSize(11)
}
