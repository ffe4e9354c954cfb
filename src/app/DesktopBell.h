#pragma once

#include <functional>

namespace brinmoor {

// The desktop's bell: what a terminal's BEL and an alert without a sound of its own make heard.
// It plays the sound theme's "bell" event (freedesktop sound naming) through libcanberra, which
// follows the user's sound theme and mixer; where that cannot play (no sound server, no theme
// with a bell), it rings the X server's bell, when the app runs on X.
class DesktopBell {
public:
    // Rings once through the installed ringer, else the desktop's.
    static void ring();
    // Installs what ring() does instead (tests); an empty function returns to the desktop's bell.
    // Returns the previous ringer.
    static std::function<void()> setRinger(std::function<void()> ringer);
    // The desktop's own bell; false when nothing could ring it.
    static bool ringDesktop();
};

} // namespace brinmoor
