// The bundled artwork and alert sound are found, decode, and the alert never crashes without
// an audio device.

#include "Assets.h"
#include "DesktopBell.h"
#include "support/TestEnvironment.h"

#include <QTest>

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
