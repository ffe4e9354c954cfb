// The shared rule for addresses handed to the desktop opener, and the pane header's bounded
// token and cost figures.

#include "HeaderFigures.h"
#include "WebLinks.h"

#include <gtest/gtest.h>

#include <limits>

using namespace brinmoor;

TEST(WebLinks, agent_links_open_only_for_web_and_mail)
{
    for (const char* ok : {"https://x", "http://x/y", "mailto:a@b", "HTTPS://X", " https://x/a?b#c "})
        EXPECT_TRUE(WebLinks::isOpenable(QString::fromLatin1(ok))) << ok;
    for (const char* no : {"file:///etc/passwd", "javascript:alert(1)", "x-app://do", "/tmp/x", "", "ftp://h",
                           "data:text/html,x", "https:", "http:///path", "mailto:"})
        EXPECT_FALSE(WebLinks::isOpenable(QString::fromLatin1(no))) << no;
}

TEST(WebLinks, service_addresses_are_https_or_loopback_http)
{
    for (const char* ok : {"https://example.com/download", "HTTPS://example.com", "http://127.0.0.1:8080/page",
                           "http://localhost/x", "http://[::1]:9/x", "http://127.8.9.10/"})
        EXPECT_TRUE(WebLinks::isServiceAddress(QUrl(QString::fromLatin1(ok)))) << ok;
    for (const char* no : {"file:///etc/passwd", "http://example.com/page", "http://127.0.0.1.example.com/",
                           "mailto:a@b", "javascript:alert(1)", "ftp://127.0.0.1/x", "https://", "", "smb://host/share"})
        EXPECT_FALSE(WebLinks::isServiceAddress(QUrl(QString::fromLatin1(no)))) << no;
}

TEST(HeaderFigures, texts_keep_their_usual_form_for_usual_values)
{
    EXPECT_EQ(HeaderFigures::label(0, 0, 0), "");
    EXPECT_EQ(HeaderFigures::label(500, 499, 0), "999 tokens");
    EXPECT_EQ(HeaderFigures::label(1000, 0, 0), "1.0k tokens");
    EXPECT_EQ(HeaderFigures::label(1000, 234, 0.01234), "1.2k · $0.0123");
    EXPECT_EQ(HeaderFigures::label(0, 500, 0.5), "500 · $0.5000");
    EXPECT_EQ(HeaderFigures::costText(999.5), "$999.5000");
}

TEST(HeaderFigures, large_and_absurd_values_stay_short)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(HeaderFigures::tokenText(999949), "999.9k");
    EXPECT_EQ(HeaderFigures::tokenText(999950), "1.0M");  // the unit follows the rounding
    EXPECT_EQ(HeaderFigures::tokenText(2.5e9), "2.5B");
    EXPECT_EQ(HeaderFigures::tokenText(9.2e18), "999.9B+");
    EXPECT_EQ(HeaderFigures::costText(1234.5), "$1.2k");
    EXPECT_EQ(HeaderFigures::costText(999.99996), "$1.0k");
    EXPECT_EQ(HeaderFigures::costText(3.4e6), "$3.4M");
    EXPECT_EQ(HeaderFigures::costText(1e308), "$999.9B+");
    // Two counts near the 64-bit limit add up without wrapping.
    EXPECT_EQ(HeaderFigures::label(9.2e18, 9.2e18, 1e308), "999.9B+ · $999.9B+");
    // Not a number, infinite or negative: nothing spent.
    EXPECT_EQ(HeaderFigures::label(nan, -5, nan), "");
    EXPECT_EQ(HeaderFigures::label(inf, 10, -inf), "10 tokens");
    EXPECT_EQ(HeaderFigures::costText(-1), "");
    for (double v : {0.0, 1.0, 999.0, 1e3, 1e6, 1e9, 1e12, 1e18, 1e308, inf})
        EXPECT_LE(HeaderFigures::label(v, v, v).size(), 20) << v;
}
