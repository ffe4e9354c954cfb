import QtQuick
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// Resolves the theme for everything below it and shows the first-run onboarding until it is
// finished once, the main window afterwards. The theme follows AppModel.themePreference; "system"
// follows the desktop's colour scheme. Theme changes animate over 0.3 s (see Theme).
Item {
    id: root

    readonly property bool resolvedDark: ThemeSupport.resolveDark(AppModel.themePreference, ThemeSupport.systemDark)

    Binding {
        target: Theme
        property: "dark"
        value: root.resolvedDark
    }

    // The main window under the onboarding; finishing the onboarding fades it away over 0.25 s.
    Loader {
        objectName: "mainWindowLoader"
        anchors.fill: parent
        anchors.bottomMargin: saveFailure.height
        active: !AppModel.showOnboarding
        sourceComponent: mainWindow
    }
    Loader {
        id: onboardingLayer
        objectName: "onboardingLoader"
        anchors.fill: parent
        anchors.bottomMargin: saveFailure.height
        // Set here, not bound: the view stays while it fades out.
        property bool shown: false
        active: onboardingLayer.shown
        sourceComponent: OnboardingView {}
        Component.onCompleted: onboardingLayer.shown = AppModel.showOnboarding
    }
    NumberAnimation {
        id: onboardingFade
        target: onboardingLayer
        property: "opacity"
        from: 1
        to: 0
        duration: 250
        easing.type: Easing.InOutQuad
        onStopped: {
            onboardingLayer.shown = AppModel.showOnboarding;
            onboardingLayer.opacity = 1;
        }
    }
    Connections {
        target: AppModel
        function onShowOnboardingChanged() {
            if (AppModel.showOnboarding) {
                onboardingFade.stop();
                onboardingLayer.shown = true;
            } else if (onboardingLayer.shown) {
                onboardingFade.restart();
            }
        }
    }

    // The window has no system frame: over the onboarding, the same window buttons, drag strip
    // and edge grips as the main window's top bar gives (the main window brings its own).
    Loader {
        objectName: "onboardingChrome"
        anchors.fill: parent
        active: AppModel.showOnboarding
        sourceComponent: Item {
            WindowChrome {
                id: chrome
            }
            WindowDragStrip {
                objectName: "onboardingDragStrip"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                height: 38
                chrome: chrome
            }
            WindowButtons {
                objectName: "windowButtons"
                chrome: chrome
                visible: !chrome.fullScreen
                y: (38 - height) / 2
                x: (84 - width) / 2
            }
            WindowChromeEdges {
                anchors.fill: parent
                chrome: chrome
            }
        }
    }
    Component {
        id: mainWindow
        MainWindowView {}
    }

    // Below both the onboarding and the main window, which make room for it while it shows.
    SaveFailureBar {
        id: saveFailure
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
    }

    // Over both the onboarding and the main window: a start-up without the saved workspaces is
    // exactly when it must be seen.
    StartupNotice {
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: saveFailure.top
        anchors.bottomMargin: 16
        z: 10
    }
}
