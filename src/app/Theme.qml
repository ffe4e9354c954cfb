pragma Singleton
import QtQuick
import Brinmoor.App

// The palette every view reads. `dark` is the resolved theme (RootView sets it; the default is
// dark, so a view shown on its own draws dark). Colours follow `blend`, which moves between 0
// (dark) and 1 (light) with an ease-in-out of 0.3 s whenever `dark` changes, so every colour
// built here or with pair() animates with the theme.
QtObject {
    id: theme

    property bool dark: true
    readonly property bool isDark: theme.dark
    // Length of the theme change in milliseconds; 0 switches at once.
    property int animationDuration: 300

    property real blend: 0

    readonly property NumberAnimation blendAnimation: NumberAnimation {
        target: theme
        property: "blend"
        easing.type: Easing.InOutQuad
    }

    onDarkChanged: {
        const to = theme.dark ? 0 : 1;
        theme.blendAnimation.stop();
        if (theme.animationDuration <= 0) {
            theme.blend = to;
            return;
        }
        theme.blendAnimation.from = theme.blend;
        theme.blendAnimation.to = to;
        theme.blendAnimation.duration = theme.animationDuration * Math.abs(to - theme.blend);
        theme.blendAnimation.start();
    }

    // A view's own dark/light pair, six hex digits each, at one opacity.
    function pair(darkHex: string, lightHex: string, opacity: real): color {
        return ThemeSupport.pair(darkHex, opacity, lightHex, opacity, theme.blend);
    }
    // A pair whose two sides differ in opacity too.
    function pairWithOpacities(darkHex: string, darkOpacity: real, lightHex: string, lightOpacity: real): color {
        return ThemeSupport.pair(darkHex, darkOpacity, lightHex, lightOpacity, theme.blend);
    }
    // A colour that is the same in both themes.
    function hex(hexText: string, opacity: real): color {
        return ThemeSupport.hex(hexText, opacity);
    }
    function mix(a: color, b: color, t: real): color {
        return ThemeSupport.mix(a, b, t);
    }
    readonly property string monospaceFamily: ThemeSupport.monospaceFamily
    function member(name: string, opacity: real): color {
        return ThemeSupport.pair(ThemeSupport.member(name, true), opacity,
                                 ThemeSupport.member(name, false), opacity, theme.blend);
    }
    // The one font-size helper: logical pixels (12.5 allowed) to a point size.
    function fontSize(pixels: real): real {
        return ThemeSupport.fontPoints(pixels);
    }

    readonly property color textStrong: theme.member("textStrong", 1)
    readonly property color text: theme.member("text", 1)
    readonly property color textDim: theme.member("textDim", 1)
    readonly property color textFaint: theme.member("textFaint", 1)
    readonly property color textGhost: theme.member("textGhost", 1)
    readonly property color border: theme.member("border", 1)
    readonly property color borderControl: theme.member("borderControl", 1)
    readonly property color borderStrong: theme.member("borderStrong", 1)
    readonly property color hoverFill: theme.member("hoverFill", 1)
    readonly property color surface: theme.member("surface", 1)
    readonly property color surfaceRaised: theme.member("surfaceRaised", 1)
    readonly property color surfaceHeader: theme.member("surfaceHeader", 1)
    readonly property color surfaceCard: theme.member("surfaceCard", 1)
    readonly property color canvas: theme.member("canvas", 1)

    // Colours that do not change with the theme.
    readonly property color accent: ThemeSupport.hex("5b8cdd", 1)
    readonly property color amber: ThemeSupport.hex("f0b429", 1)
    readonly property color red: ThemeSupport.hex("f0524f", 1)
}
