#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// Where the one window opens and how small it may be made: 1240 × 780 at first and never below
// 980 × 640, both capped to the screen's available area (the desktop less its panels), so that on
// a small or scaled screen (1366 × 768; 2560 × 1440 at scale 2, which is 1280 × 720 to the app)
// no control starts out off the screen. The window opens centred in that area.
class WindowPlacement : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    struct Placement {
        QRect geometry;  // the window's first geometry, inside the available area
        QSize minimum;   // the smallest the window may be made
        friend bool operator==(const Placement&, const Placement&) = default;
    };
    static constexpr QSize preferredSize{1240, 780};
    static constexpr QSize minimumSize{980, 640};

    // The placement in a screen's available area (in the window's own, device-independent pixels).
    static Placement fit(const QRect& available, QSize preferred = preferredSize, QSize minimum = minimumSize);

    // On the primary screen, for Main.qml (in its own types: QML has no integer rect or size).
    Q_INVOKABLE QRectF initialGeometry() const;
    Q_INVOKABLE QSizeF smallestSize() const;

private:
    static Placement onPrimaryScreen();
};

} // namespace brinmoor
