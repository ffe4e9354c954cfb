#pragma once

#include <functional>

namespace brinmoor {

// The desktop's bell: what a terminal's BEL and an alert without a sound of its own make heard.
// It plays the sound theme's "bell" event (freedesktop sound naming) through libcanberra, which
// follows the user's sound theme and mixer; where that cannot play (no sound server, no theme
// with a bell), it rings the X server's bell, when the app runs on X.
//
// The sound plays on a thread of its own: opening the sound server, and a play that fails (with
// no sound card the sound library writes eight lines of complaints to stderr each time), take
// milliseconds that a burst of bells must not take from the GUI thread. One sound plays at a
// time; a ring while one is under way is dropped. A sound that failed is not tried again for a
// minute: its bells ring the X server's bell meanwhile.
class DesktopBell {
public:
    // Rings once through the installed ringer, else the desktop's. Returns at once.
    static void ring();
    // Installs what ring() does instead (tests); an empty function returns to the desktop's bell.
    // Returns the previous ringer.
    static std::function<void()> setRinger(std::function<void()> ringer);
    // The desktop's own bell: the sound when it has not failed lately, else the X server's bell.
    // False when nothing could be rung on the spot (no sound to try, no X server).
    static bool ringDesktop();

    // What plays the theme's bell sound, on the sound thread; false when it could not play.
    // libcanberra by default; tests replace it (an empty function returns to libcanberra).
    static std::function<bool()> setSoundPlayer(std::function<bool()> player);
    // Counts since the start, for diagnostics and tests: sounds tried (on the sound thread),
    // sounds that failed, and rings of the X server's bell (also those that found no X server).
    struct Counts {
        int soundTries = 0;
        int soundFailures = 0;
        int serverBells = 0;
    };
    static Counts counts();
    // Forgets a failed sound, so the next ring tries it again (tests).
    static void resetSoundFailure();
};

} // namespace brinmoor
