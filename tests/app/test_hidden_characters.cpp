// Characters that change what a name or code shows unseen: which are marked, how, and how a path
// holding them is written for an agent.

#include "HiddenCharacters.h"
#include "HiddenMarks.h"
#include "MarkedEdit.h"

#include <gtest/gtest.h>

#include <algorithm>

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
        // Characters drawn as nothing or as a space.
        {u(u"echo a\u00ADb c\u034Fd e\u180Ef g\u3164h i\u2800j"), Scope::Line,
         "echo a<U+00AD>b c<U+034F>d e<U+180E>f g<U+3164>h i<U+2800>j"},
        {u(u"\u115F\u1160\uFFA0\u17B4\u206A\u206F\uFFF9\U0001BCA0\U0001D173\U000E0100x"), Scope::Text,
         "<U+115F><U+1160><U+FFA0><U+17B4><U+206A><U+206F><U+FFF9><U+1BCA0><U+1D173><U+E0100>x"},
        // Variation selectors: one right after a character with variants stays (an emoji in text
        // or emoji style, a keycap, an ideograph's variant, a mathematical symbol's); any other,
        // and every one after the first, is marked.
        {u(u"\u2764\uFE0F \u263A\uFE0E 1\uFE0F\u20E3 \u845B\U000E0100 \u2229\uFE00 \U0001F3F3\uFE0F\u200D\U0001F308"),
         Scope::Line,
         u(u"\u2764\uFE0F \u263A\uFE0E 1\uFE0F\u20E3 \u845B\U000E0100 \u2229\uFE00 \U0001F3F3\uFE0F\u200D\U0001F308")},
        {u(u"k=v\uFE00\U000E0100 \u2764\uFE0F\uFE0F \u845B\U000E0100\U000E0101 a\U000E0100"), Scope::Line,
         u(u"k=v<U+FE00><U+E0100> \u2764\uFE0F<U+FE0F> \u845B\U000E0100<U+E0101> a<U+E0100>")},
        // Mongolian free variation selectors belong after Mongolian letters only.
        {u(u"\u1820\u180B\u180C x\u180B"), Scope::Line, u(u"\u1820\u180B<U+180C> x<U+180B>")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HiddenCharacters::plain(c.in, c.scope), c.shown) << qPrintable(c.in);
        EXPECT_EQ(HiddenCharacters::present(c.in, c.scope), c.shown != c.in) << qPrintable(c.in);
    }
}

// Bytes hidden one per variation selector after a letter (the first sixteen values by U+FE00–FE0F,
// the rest by U+E0100–E01EF) are every one a mark: the command reads with all of them.
TEST(HiddenCharacters, bytes_hidden_in_variation_selectors_all_show)
{
    QString command = QStringLiteral("echo \"k=v");
    QString shown = command;
    for (const char b : QByteArray("SECRET=hunter2")) {
        const char32_t selector = uchar(b) < 16 ? 0xFE00 + uchar(b) : 0xE0100 + uchar(b) - 16;
        command += QString::fromUcs4(&selector, 1);
        shown += QStringLiteral("<U+%1>").arg(uint(selector), 4, 16, QChar(u'0')).toUpper();
    }
    command += QStringLiteral("\" > sent.txt");
    shown += QStringLiteral("\" > sent.txt");
    EXPECT_EQ(HiddenCharacters::plain(command, Scope::Line), shown);
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

// A name shown in an editable field as its marks comes back unchanged when left alone, and keeps
// the characters its marks stand for when edited around them; other text reads as typed.
TEST(HiddenCharacters, a_name_edited_as_its_marks_keeps_what_they_stand_for)
{
    const QString names[] = {
        u(u"rlo\u202Egpj.exe"), u(u"ws\u202Egpj.exe\U000E0041\U000E0042"), u(u"new\nline\t\u200B"),
        u(u"k=v\uFE00\U000E0100 \u2764\uFE0F"), u(u"\u05E9\u05DC\u05D5\u05DD"), "plain",
    };
    for (const QString& name : names) {
        const QString shown = HiddenMarks::plainName(name);
        EXPECT_FALSE(HiddenCharacters::present(shown, Scope::Line)) << qPrintable(shown);
        EXPECT_EQ(HiddenMarks::editedName(shown, name), name) << qPrintable(shown);
        EXPECT_EQ(HiddenCharacters::fromPlain(shown), name) << qPrintable(shown);
        EXPECT_EQ(HiddenMarks::editedName(shown + "2", name), name + "2") << qPrintable(shown);
    }
    const struct {
        QString typed, name;
    } edits[] = {
        {"rlogpj.exe", "rlogpj.exe"},                              // the mark deleted: the override goes
        {"a<U+0041>b<U+20>c<U+202E", "a<U+0041>b<U+20>c<U+202E"},  // no hidden character, or no mark
        {"x<U+202e>y<U+E0041><u+202E>", u(u"x\u202Ey\U000E0041<u+202E>")},
        {"<U+FFFFFFF><U+D800>", "<U+FFFFFFF><U+D800>"},
    };
    for (const auto& e : edits)
        EXPECT_EQ(HiddenMarks::editedName(e.typed, u(u"rlo\u202Egpj.exe")), e.name) << qPrintable(e.typed);
}

// A name or path in one of the app's sentences: as it is when nothing in it can reorder the
// words around it; otherwise in a first-strong isolate, its hidden characters and line breaks as
// marks.
TEST(HiddenCharacters, a_name_in_a_sentence_is_isolated_and_marked)
{
    const QString fsi = u(u"\u2068"), pdi = u(u"\u2069");
    const struct {
        QString name, shown;
    } cases[] = {
        {"/home/me/web", "/home/me/web"},
        {"", ""},
        {u(u"/p/rlo\u202Egpj.exe"), fsi + "/p/rlo<U+202E>gpj.exe" + pdi},
        {"/p/new\nline", fsi + "/p/new<U+000A>line" + pdi},
        {u(u"/p/\u05E9\u05DC\u05D5\u05DD"), fsi + u(u"/p/\u05E9\u05DC\u05D5\u05DD") + pdi},
        {u(u"\u05E9\u05DC\u05D5\u05DD/p"), fsi + u(u"\u05E9\u05DC\u05D5\u05DD/p") + pdi},
        {u(u"a\u202Cb\u2069\u2068"), fsi + "a<U+202C>b<U+2069><U+2068>" + pdi},  // its own controls cannot end ours
        {u(u"me\U000E0041@x.io"), fsi + "me<U+E0041>@x.io" + pdi},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HiddenCharacters::inSentence(c.name), c.shown) << qPrintable(c.name);
        EXPECT_EQ(HiddenMarks::inSentence(c.name), c.shown) << qPrintable(c.name);
    }
    // As styled text: the app's words escaped, the name's marks in their colour inside the isolate.
    const QString styled = HiddenMarks::sentence("Chat <b>with</b> %1 here", u(u"rlo\u202Egpj.exe"));
    EXPECT_TRUE(styled.startsWith("Chat &lt;b&gt;with&lt;/b&gt; " + fsi + "rlo<font")) << qPrintable(styled);
    EXPECT_TRUE(styled.endsWith("gpj.exe" + pdi + " here")) << qPrintable(styled);
    EXPECT_FALSE(styled.contains(QChar(0x202E)));
    EXPECT_EQ(HiddenMarks::sentence("in %1", "<h1>x"), "in &lt;h1&gt;x");
    EXPECT_TRUE(HiddenMarks::sentence("in %1", u(u"\u05E9\u05DC\u05D5\u05DD\u202E")).startsWith("in " + fsi)) << "right to left";
}

// What shows a name (its marks, its place in a sentence) adds no embedding (U+202A … U+202C): a
// paragraph takes its direction from the first strong letter it holds, an embedded one included,
// so a sentence opening with a right-to-left name turned around. Isolates only, whose letters the
// paragraph passes over (that a line holding them keeps its height whatever fonts are installed is
// the business of what measures the line: test_name_in_sentence).
TEST(HiddenCharacters, what_shows_a_name_adds_isolates_not_embeddings)
{
    const QString names[] = {
        u(u"rlo\u202Egpj.exe"), u(u"\u05E9\u05DC\u05D5\u05DD \u202E x"), u(u"a\u2066b\u2069"), "new\nline",
        u(u"me\U000E0041@x.io"),
    };
    const auto embeddings = [](const QString& shown) {
        return std::any_of(shown.cbegin(), shown.cend(), [](QChar c) { return c.unicode() >= 0x202A && c.unicode() <= 0x202E; });
    };
    for (const QString& name : names) {
        for (const QString& shown : {HiddenMarks::name(name), HiddenMarks::inSentence(name), HiddenMarks::sentence("at %1.", name),
                                     HiddenCharacters::markup(name, Scope::Text, HiddenCharacters::Markup::Rich)})
            EXPECT_FALSE(embeddings(shown)) << qPrintable(shown);
        // Each mark still reads left to right inside right-to-left text: its own isolate.
        EXPECT_TRUE(HiddenMarks::name(name).contains(u(u"\u2066&lt;U+"))) << qPrintable(name);
    }
}

// A field keeps which stretches of its text are marks: typed text is saved as typed ("<U+202E>"
// typed stays eight characters), the marks it opened with stand for their characters until an
// edit cuts into one, which takes the whole mark, and a hidden character pasted in becomes a mark.
TEST(MarkedEdit, typed_text_stays_as_typed_and_marks_stay_whole)
{
    const QString spoofed = u(u"rlo\u202Egpj.exe");
    struct Edit {
        QString text;
        int cursor;
        int selectionStart = -1, selectionEnd = -1;  // what the field had selected before the edit
    };
    const struct {
        const char* what;
        QString original;
        QList<Edit> edits;
        QString shown, value;
    } cases[] = {
        {"unedited", spoofed, {}, "rlo<U+202E>gpj.exe", spoofed},
        {"typed after", spoofed, {{"rlo<U+202E>gpj.exe2", 19}}, "rlo<U+202E>gpj.exe2", spoofed + "2"},
        {"typed before", spoofed, {{"Xrlo<U+202E>gpj.exe", 1}}, "Xrlo<U+202E>gpj.exe", "X" + spoofed},
        {"mark text typed", "", {{"fix <U+200B> bug", 16}}, "fix <U+200B> bug", "fix <U+200B> bug"},
        {"mark text typed beside a mark", spoofed, {{"rlo<U+202E><U+202E>gpj.exe", 19}}, "rlo<U+202E><U+202E>gpj.exe",
         u(u"rlo\u202E<U+202E>gpj.exe")},
        {"backspace at a mark's end", spoofed, {{"rlo<U+202Egpj.exe", 10}}, "rlogpj.exe", "rlogpj.exe"},
        {"delete at a mark's start", spoofed, {{"rloU+202E>gpj.exe", 3}}, "rlogpj.exe", "rlogpj.exe"},
        {"typed inside a mark", spoofed, {{"rlo<U+2x02E>gpj.exe", 8}}, "rlo<U+202E>xgpj.exe", u(u"rlo\u202Exgpj.exe")},
        {"all replaced", spoofed, {{"plain", 5}}, "plain", "plain"},
        {"pasted character", "ab", {{u(u"a\u202Eb"), 2}}, "a<U+202E>b", u(u"a\u202Eb")},
        {"two edits", u(u"a\u200Bb\U000E0041"), {{"a<U+200B>bc<U+E0041>", 11}, {"a<U+200B>c<U+E0041>", 9}},
         "a<U+200B>c<U+E0041>", u(u"a\u200Bc\U000E0041")},
        // Over a selection: what was typed or pasted stays whole, whatever it shares with the
        // mark it replaced; a mark the selection reaches into goes whole.
        {"all selected, mark text pasted", u(u"ws\u2066old"), {{"ws<U+2066>new", 13, 0, 13}}, "ws<U+2066>new", "ws<U+2066>new"},
        {"a mark selected, '<' typed", u(u"ws\u2066old"), {{"ws<old", 3, 2, 10}}, "ws<old", "ws<old"},
        {"a mark selected, mark text typed", u(u"ws\u2066old"), {{"ws<old", 3, 2, 10}, {"ws<Uold", 4}}, "ws<Uold", "ws<Uold"},
        {"a mark selected, mark text pasted", u(u"ws\u2066old"), {{"ws<U+200B>old", 10, 2, 10}}, "ws<U+200B>old", "ws<U+200B>old"},
        {"part of a mark selected", u(u"ws\u2066old"), {{"ws<Uxold", 5, 4, 10}}, "wsxold", "wsxold"},
        {"a mark selected and deleted", u(u"ws\u2066old"), {{"wsold", 2, 2, 10}}, "wsold", "wsold"},
        {"a selection the text does not fit", u(u"ws\u2066old"), {{"ws<U+2066>ol", 12, 0, 2}}, "ws<U+2066>ol", u(u"ws\u2066ol")},
    };
    for (const auto& c : cases) {
        MarkedEdit e;
        e.setOriginal(c.original);
        for (const Edit& edit : c.edits) {
            if (edit.selectionStart >= 0)
                e.select(edit.selectionStart, edit.selectionEnd);
            e.edit(edit.text, edit.cursor);
        }
        EXPECT_EQ(e.shown(), c.shown) << c.what;
        EXPECT_EQ(e.value(), c.value) << c.what;
        EXPECT_FALSE(HiddenCharacters::present(e.shown(), Scope::Line)) << c.what;
        for (const MarkedEdit::Mark& m : e.marks())
            EXPECT_EQ(e.shown().sliced(m.start, m.end - m.start), HiddenCharacters::markFor(m.character)) << c.what;
    }
}

// In a line with right-to-left letters a mark is shown in a left-to-right isolate, so that it
// reads as one piece: the isolate is part of the mark's stretch (whole or gone with it, a character
// typed inside it going after the mark), never part of the value, and it comes and goes as the
// line gains or loses its right-to-left letters, the cursor staying where it stood in the text.
TEST(MarkedEdit, a_mark_in_a_right_to_left_line_stands_in_an_isolate_shown_only)
{
    const QString lri = u(u"\u2066"), pdi = u(u"\u2069"), price = u(u"\u05DE\u05D7\u05D9\u05E8");
    const QString isolated = price + lri + "<U+200B>" + pdi + "100";
    MarkedEdit e;
    e.setOriginal(price + u(u"\u200B") + "100");
    EXPECT_EQ(e.shown(), isolated);
    EXPECT_EQ(e.value(), price + u(u"\u200B") + "100");
    EXPECT_EQ(e.markList(), (QVariantList{QVariantMap{{"start", 5}, {"end", 13}}}));
    const struct {
        const char* what;
        QString text;
        int cursor;
        QString shown, value;
        int cursorAfter;
    } steps[] = {
        {"typed inside the isolate, before the mark", price + lri + "x<U+200B>" + pdi + "100", 6,
         price + lri + "<U+200B>" + pdi + "x100", price + u(u"\u200B") + "x100", 15},
        {"the isolate's end deleted", price + lri + "<U+200B>x100", 13, price + "x100", price + "x100", 4},
        {"Latin text with a mark pasted", "ws" + u(u"\u200B") + "old", 6, "ws<U+200B>old", "ws" + u(u"\u200B") + "old", 13},
        {"a Hebrew letter typed at its end", "ws<U+200B>old" + u(u"\u05E9"), 14,
         "ws" + lri + "<U+200B>" + pdi + "old" + u(u"\u05E9"), "ws" + u(u"\u200B") + "old" + u(u"\u05E9"), 16},
        {"and deleted", "ws" + lri + "<U+200B>" + pdi + "old", 15, "ws<U+200B>old", "ws" + u(u"\u200B") + "old", 13},
    };
    for (const auto& s : steps) {
        if (s.text.startsWith("ws") && s.text.size() == 6)  // a new name, typed afresh
            e.setOriginal(QString());
        e.edit(s.text, s.cursor);
        EXPECT_EQ(e.shown(), s.shown) << s.what;
        EXPECT_EQ(e.value(), s.value) << s.what;
        EXPECT_EQ(e.cursor(), s.cursorAfter) << s.what;
    }
}

// What a stretch of a field's text stands for, as a copy or the X primary selection carries it:
// each mark the stretch reaches into as its character (whole, as a deletion takes it), a stretch
// that touches only a mark's isolate nothing of the mark, and never an isolate or a written form.
// Hebrew and Arabic (the marks in isolates) beside Latin (bare).
TEST(MarkedEdit, a_stretch_stands_for_the_names_own_text)
{
    const QString zw = u(u"\u200B"), rlo = u(u"\u202E");
    const struct {
        const char* what;
        QString name;
        int from, to;  // in the field's text; -1: its end
        QString value;
    } cases[] = {
        // "אב" LRI "<U+200B>" PDI "גד": the isolate from 2 to 12.
        {"Hebrew, all", u(u"\u05D0\u05D1") + zw + u(u"\u05D2\u05D3"), 0, -1, u(u"\u05D0\u05D1") + zw + u(u"\u05D2\u05D3")},
        {"Hebrew, the mark with its isolate", u(u"\u05D0\u05D1") + zw + u(u"\u05D2\u05D3"), 2, 12, zw},
        {"Hebrew, part of the written form", u(u"\u05D0\u05D1") + zw + u(u"\u05D2\u05D3"), 5, 8, zw},
        {"Hebrew, up to the isolate's start only", u(u"\u05D0\u05D1") + zw + u(u"\u05D2\u05D3"), 0, 3, u(u"\u05D0\u05D1")},
        {"Hebrew, from the isolate's end only", u(u"\u05D0\u05D1") + zw + u(u"\u05D2\u05D3"), 11, -1, u(u"\u05D2\u05D3")},
        {"Arabic, the letters after the mark", u(u"\u0627\u0628") + zw + u(u"\u062C\u062F"), 12, -1, u(u"\u062C\u062F")},
        {"Arabic, a letter and the mark's '<'", u(u"\u0627\u0628") + zw + u(u"\u062C\u062F"), 1, 4, u(u"\u0628") + zw},
        {"Latin, all", "ab" + zw + "cd", 0, -1, "ab" + zw + "cd"},
        {"Latin, the mark's 'U+20'", "ab" + zw + "cd", 3, 7, zw},
        {"Latin, two marks and between", "a" + zw + "b" + rlo + "c", 1, 18, zw + "b" + rlo},
        {"Latin, none", "plain", 1, 3, "la"},
        {"out of range", "ab" + zw, -5, 99, "ab" + zw},
    };
    for (const auto& c : cases) {
        MarkedEdit e;
        e.setOriginal(c.name);
        const int to = c.to < 0 ? int(e.shown().size()) : c.to;
        EXPECT_EQ(e.valueOf(c.from, to), c.value) << c.what << ": " << e.shown().toStdString();
    }
}
