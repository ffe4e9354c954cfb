// The bundled artwork and alert sound are found, decode, and the alert never crashes without
// an audio device.

#include "Assets.h"
#include "DesktopBell.h"
#include "support/TestEnvironment.h"
#include "support/TaskLimit.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace brinmoor;

BRINMOOR_APP_TEST_ENVIRONMENT();

TEST(Assets, bundled_images_are_found_compiled_in_and_decode)
{
    for (const auto& [name, ext] : {std::pair{"claude-logo", "png"}, {"codex-logo", "svg"}, {"logomark", "png"}}) {
        const auto url = Assets::resourceURL(QString::fromLatin1(name), QString::fromLatin1(ext));
        ASSERT_TRUE(url) << name;
        EXPECT_EQ(url->scheme(), QStringLiteral("qrc")) << name;
    }
    ASSERT_TRUE(Assets::claudeLogo());
    EXPECT_EQ(Assets::claudeLogo()->size(), QSize(128, 128));
    ASSERT_TRUE(Assets::codexLogo());
    EXPECT_FALSE(Assets::codexLogo()->isNull());
    ASSERT_TRUE(Assets::logoMark());
    EXPECT_FALSE(Assets::claudeLogoUrl().isEmpty());
    EXPECT_FALSE(Assets::resourceURL(QStringLiteral("no-such-image"), QStringLiteral("png")));
}

TEST(Assets, alert_sound_is_a_wav_and_repeated_alerts_do_not_crash)
{
    const auto url = AlertSound::url();
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->path().endsWith(QStringLiteral("alert.wav")));
    const int before = AlertSound::playCount();
    AlertSound::play();
    AlertSound::play();  // cuts the first one short
    EXPECT_EQ(AlertSound::playCount(), before + 2);
    QTest::qWait(100); // a moment for the queued playback to run (and not crash)
}

TEST(Assets, missing_or_unplayable_sound_falls_back_to_the_desktop_bell)
{
    int rung = 0;
    const auto desktopBell = DesktopBell::setRinger([&rung] { ++rung; });
    AlertSound::play(std::nullopt);
    EXPECT_TRUE(test::waitUntil([&] { return rung == 1; }, 2000));
    // Not a sound at all: the effect reports an error and the bell rings instead.
    AlertSound::play(Assets::resourceURL(QStringLiteral("logomark"), QStringLiteral("png")));
    EXPECT_TRUE(test::waitUntil([&] { return rung == 2; }, 5000));
    DesktopBell::setRinger(desktopBell);
}

TEST(DesktopBell, a_sound_that_failed_is_not_tried_again_for_every_bell)
{
    // With no sound card the sound library fails each play and writes its complaints to stderr:
    // a burst of bells must not try it each time. The bells ring the X server's bell instead.
    std::atomic<int> tries{0};
    const auto saved = DesktopBell::setSoundPlayer([&tries] {
        ++tries;
        return false;
    });
    DesktopBell::resetSoundFailure();
    const int serverBells = DesktopBell::counts().serverBells;
    DesktopBell::ringDesktop();
    // The failed bell still rings, on the server, once the sound thread has given up.
    ASSERT_TRUE(test::waitUntil([&] { return DesktopBell::counts().serverBells == serverBells + 1; }, 5000));
    for (int i = 0; i < 1000; ++i)
        DesktopBell::ringDesktop();
    EXPECT_EQ(DesktopBell::counts().serverBells, serverBells + 1001);
    EXPECT_EQ(tries.load(), 1);
    DesktopBell::setSoundPlayer(saved);
    DesktopBell::resetSoundFailure();
}

TEST(DesktopBell, the_sound_plays_off_the_gui_thread_and_bells_during_it_are_dropped)
{
    std::atomic<bool> playing{false}, release{false};
    std::atomic<Qt::HANDLE> playedOn{nullptr};
    std::atomic<int> tries{0};
    const auto saved = DesktopBell::setSoundPlayer([&] {
        ++tries;
        playedOn = QThread::currentThreadId();
        playing = true;
        // A sound server that takes its time: the GUI thread must not wait for it.
        while (!release)
            QThread::yieldCurrentThread();
        playing = false;
        return true;
    });
    DesktopBell::resetSoundFailure();
    DesktopBell::ringDesktop();
    ASSERT_TRUE(test::waitUntil([&] { return playing.load(); }, 5000));
    for (int i = 0; i < 100; ++i)
        DesktopBell::ringDesktop();
    release = true;
    ASSERT_TRUE(test::waitUntil([&] { return !playing; }, 5000));
    EXPECT_EQ(tries.load(), 1) << "bells while one sounds are not queued behind it";
    EXPECT_NE(playedOn.load(), QThread::currentThreadId());
    // Once it has played, the next bell plays again. (A bell rung while the count already says 2
    // could start a third sound before the check: ring only until the second has started.)
    ASSERT_TRUE(test::waitUntil([&] {
        if (tries < 2)
            DesktopBell::ringDesktop();
        return tries >= 2;
    }, 5000));
    DesktopBell::setSoundPlayer(saved);
}

// The task limit reached as a bell rings: its sound gets no thread, and the bell rings the X
// server's bell at once; once tasks are free the next bell plays its sound. Before, the refused
// thread never ran, the sound stayed "playing", and no bell made a sound again. (RLIMIT_NPROC
// binds root only once the real user is another: the child takes the user nobody, keeping root as
// its saved user.)
TEST(DesktopBell, a_sound_refused_a_thread_rings_the_server_and_the_next_bell_plays)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(30);
            std::atomic<int> tries{0};
            DesktopBell::setSoundPlayer([&tries] {
                ++tries;
                return true;
            });
            DesktopBell::resetSoundFailure();
            const int serverBells = DesktopBell::counts().serverBells;
            if (!test::limitTasks(false))
                std::_Exit(3);
            DesktopBell::ringDesktop();
            const int rungOnServer = DesktopBell::counts().serverBells - serverBells;
            if (!test::limitTasks(true))
                std::_Exit(4);
            const bool played = test::waitUntil([&] {
                if (tries < 1)
                    DesktopBell::ringDesktop();
                return tries >= 1;
            }, 5000);
            std::fprintf(stderr, "on the server %d, then played %d\n", rungOnServer, int(played));
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "on the server 1, then played 1");
}
