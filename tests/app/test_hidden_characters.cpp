// Characters that change what a name or code shows unseen: which are marked, how, and how a path
// holding them is written for an agent.

#include "HiddenCharacters.h"

#include <gtest/gtest.h>

using namespace brinmoor;
using HiddenCharacters::Scope;

namespace {

QString u(const char16_t* text)
{
    return QString::fromUtf16(text);
}

} // namespace

// Each class of character, in and out of the contexts that keep it; what is kept reads unchanged.
TEST(HiddenCharacters, each_class_is_marked_and_legitimate_uses_stay)
{
    const struct {
        QString in;
        Scope scope;
        QString shown;
    } cases[] = {
        {u(u"invoice\u202Efdp.sh"), Scope::Line, "invoice<U+202E>fdp.sh"},
        {u(u"\u202A\u202B\u202C\u202D x \u2066\u2067\u2068\u2069"), Scope::Text,
         "<U+202A><U+202B><U+202C><U+202D> x <U+2066><U+2067><U+2068><U+2069>"},
        {u(u"a\u200Eb\u200Fc\u061Cd"), Scope::Text, "a<U+200E>b<U+200F>c<U+061C>d"},
        {u(u"zero\u200Bwidth \u2060\u2061\u2062\u2063\u2064"), Scope::Text,
         "zero<U+200B>width <U+2060><U+2061><U+2062><U+2063><U+2064>"},
        // A byte order mark only at the very start is one.
        {u(u"\uFEFFbom\uFEFF"), Scope::Text, u(u"\uFEFFbom<U+FEFF>")},
        // Tag characters hiding text; a flag's short subdivision code (England) stays.
        {u(u"hi\U000E0069\U000E0067"), Scope::Text, "hi<U+E0069><U+E0067>"},
        {u(u"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F"), Scope::Text,
         u(u"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F")},
        {u(u"\U0001F3F4\U000E0041\U000E007F"), Scope::Text, u(u"\U0001F3F4<U+E0041><U+E007F>")},
        // Joiners in an emoji sequence and in Persian and Hindi stay; between Latin letters not.
        {u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467"), Scope::Line, u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467")},
        {u(u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"), Scope::Line, u(u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645")},
        {u(u"\u0915\u094D\u200D\u0937"), Scope::Text, u(u"\u0915\u094D\u200D\u0937")},
        {u(u"ad\u200Dmin\u200C"), Scope::Line, "ad<U+200D>min<U+200C>"},
        // Right-to-left scripts themselves are no marks.
        {u(u"\u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627.txt"), Scope::Line,
         u(u"\u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627.txt")},
        // Lines of text keep their breaks and tabs; a lone carriage return or an escape is marked.
        {"a\tb\r\nc\n", Scope::Text, "a\tb\r\nc\n"},
        {u(u"safe\rrm \u001B[2K\u0085\u2028"), Scope::Text, "safe<U+000D>rm <U+001B>[2K<U+0085><U+2028>"},
        // A name is one line: every control character in it is marked.
        {"new\nline\t.txt\r", Scope::Line, "new<U+000A>line<U+0009>.txt<U+000D>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HiddenCharacters::plain(c.in, c.scope), c.shown) << qPrintable(c.in);
        EXPECT_EQ(HiddenCharacters::present(c.in, c.scope), c.shown != c.in) << qPrintable(c.in);
    }
}

// Markup: the rest escaped, no hidden character left, breaks as breaks, runs of spaces kept.
TEST(HiddenCharacters, markup_shows_marks_in_their_colour_and_escapes_the_rest)
{
    using HiddenCharacters::Markup;
    const QString name = u(u"<b>x</b>\u202E  &\"\ny");
    const QString rich = HiddenCharacters::markup(name, Scope::Text, Markup::Rich);
    EXPECT_EQ(rich, u(u"&lt;b&gt;x&lt;/b&gt;<font color=\"#d94f8c\">\u2066&lt;U+202E&gt;\u2069</font>  &amp;&quot;<br>y"));
    const QString styled = HiddenCharacters::markup(name, Scope::Line, Markup::Styled);
    EXPECT_TRUE(styled.contains(" &nbsp;&amp;")) << qPrintable(styled);
    EXPECT_TRUE(styled.contains("&lt;U+000A&gt;")) << qPrintable(styled);
    EXPECT_FALSE(styled.contains(QChar(0x202E)));
}

// A path goes as it is, or JSON-quoted when a character in it would split it or change how it reads.
TEST(HiddenCharacters, a_path_with_hidden_characters_is_written_as_one_quoted_path)
{
    const struct {
        QString path, written;
    } cases[] = {
        {"/a/b c.txt", "/a/b c.txt"},
        {u(u"/a/\u05E9\u05DC\u05D5\u05DD.txt"), u(u"/a/\u05E9\u05DC\u05D5\u05DD.txt")},
        {"/a/new\nline.txt", R"("/a/new\nline.txt")"},
        {u(u"/a/\"q\"\\\r\t\u202Ex\U000E0041"), R"("/a/\"q\"\\\r\t\u202ex\udb40\udc41")"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HiddenCharacters::pathForText(c.path), c.written) << qPrintable(c.path);
}
