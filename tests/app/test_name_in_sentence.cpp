// A name in one of the app's sentences, and a row showing one, whatever fonts are installed: the
// sentence reads in its own order with any name inside it (a right-to-left name neither turns it
// around nor moves what follows), and a line holding a name is as high, its letters on the same
// baseline, as one holding any other. Run twice, against DejaVu alone (app_name_in_sentence) and
// with Noto Sans Mono besides (app_name_in_sentence_noto): fontconfig is given only those fonts
// (tests/app/CMakeLists.txt), Noto from data/fonts, so the figures do not depend on the machine.

#include "AttachmentBudget.h"
#include "ChatAttachments.h"
#include "FolderChooserLogic.h"
#include "GridArithmetic.h"
#include "HiddenCharacters.h"
#include "HiddenMarks.h"
#include "ProviderDetection.h"
#include "SheetLogic.h"
#include "WindowText.h"
#include "support/TestEnvironment.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)

using namespace brinmoor;

BRINMOOR_APP_TEST_ENVIRONMENT();

namespace {

QString u(const char16_t* text)
{
    return QString::fromUtf16(text);
}

bool withNoto()
{
    return qEnvironmentVariable("BRINMOOR_TEST_FONTS") == QLatin1String("noto");
}

// The fonts a sentence is drawn in: the interface's and the fixed-pitch one.
QList<QFont> sentenceFonts()
{
    QFont big = QGuiApplication::font();
    big.setPointSizeF(14);
    return {QGuiApplication::font(), big, QFontDatabase::systemFont(QFontDatabase::FixedFont)};
}

// Where each character of `text` is drawn on one unwrapped line: its left and right edge.
struct Span {
    qreal left, right;
};
QList<Span> spans(const QString& text, const QFont& font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(100000);
    layout.endLayout();
    QList<Span> out;
    for (int i = 0; i < text.size(); ++i) {
        const qreal a = line.cursorToX(i, QTextLine::Leading), b = line.cursorToX(i, QTextLine::Trailing);
        out.append({std::min(a, b), std::max(a, b)});
    }
    return out;
}

// A name as it should stand in a sentence: the text put in (HiddenCharacters::inSentence) and the
// direction its letters read in.
struct Placed {
    QString shown;
    bool rightToLeft;
};

// `sentence` holds each of `names`, in that order, as they are shown; laid out on one line in
// each of the sentence fonts it reads in its own order: its pieces (the app's words and each name)
// stand left to right in the order written, the app's letters left to right inside their piece,
// and each name's letters in the name's own direction.
void expectReadsInOrder(const QString& sentence, const QList<Placed>& names)
{
    struct Piece {
        qsizetype from, to;
        int name;  // -1 for the app's words
    };
    QList<Piece> pieces;
    qsizetype at = 0;
    for (int n = 0; n < names.size(); ++n) {
        const qsizetype found = sentence.indexOf(names[n].shown, at);
        ASSERT_GE(found, 0) << "no " << names[n].shown.toStdString() << " in " << sentence.toStdString();
        if (found > at)
            pieces.append({at, found, -1});
        pieces.append({found, found + names[n].shown.size(), n});
        at = found + names[n].shown.size();
    }
    if (at < sentence.size())
        pieces.append({at, sentence.size(), -1});
    // The isolates' own ends come from the app alone: a name's controls are marks.
    qsizetype isolates = 0;
    for (const Placed& p : names)
        isolates += p.shown.startsWith(QChar(0x2068)) ? 1 : 0;
    EXPECT_EQ(sentence.count(QChar(0x2069)), isolates) << sentence.toStdString();
    for (const QFont& font : sentenceFonts()) {
        SCOPED_TRACE(sentence.toStdString() + " in " + QFontInfo(font).family().toStdString());
        const QList<Span> s = spans(sentence, font);
        const auto drawn = [&](qsizetype i) { return sentence[i].category() != QChar::Other_Format && s[i].right > s[i].left; };
        qreal pieceRight = 0;
        for (const Piece& piece : pieces) {
            qreal left = 1e9, right = 0, lastLeft = -1;
            for (qsizetype i = piece.from; i < piece.to; ++i) {
                if (!drawn(i))
                    continue;
                if (piece.name < 0) {
                    EXPECT_GT(s[i].left, lastLeft - 0.01) << "the app's words out of order at " << i;
                    lastLeft = s[i].left;
                }
                left = std::min(left, s[i].left);
                right = std::max(right, s[i].right);
            }
            if (right == 0)
                continue;
            EXPECT_GE(left, pieceRight - 0.01) << "the piece from " << piece.from << " stands before the one ahead of it";
            pieceRight = right;
            if (piece.name < 0)
                continue;
            const QString& shown = names[piece.name].shown;
            const qsizetype first = (shown.startsWith(QChar(0x2068)) ? piece.from + 1 : piece.from) + 1;
            const qsizetype last = piece.to - (shown.endsWith(QChar(0x2069)) ? 1 : 0) - 2;
            if (last > first) {
                const qreal a = s[first].left + s[first].right, b = s[last].left + s[last].right;
                EXPECT_EQ(a > b, names[piece.name].rightToLeft) << a / 2 << " " << b / 2;
            }
        }
    }
}

} // namespace

// The fonts the run is meant to have: Noto Sans Mono only in the run with it. With it, a line
// holding isolates laid out as Qt lays it out is taller than one without (what the rows below
// must not show), so this run sees the fault it guards against.
TEST(NameInSentence, the_run_has_the_fonts_it_names)
{
    const QStringList families = QFontDatabase::families();
    EXPECT_TRUE(families.contains(QStringLiteral("DejaVu Sans"))) << qPrintable(families.join(", "));
    EXPECT_EQ(families.contains(QStringLiteral("Noto Sans Mono")), withNoto()) << qPrintable(families.join(", "));
    const auto height = [](const QString& text) {
        QTextLayout layout(text, QGuiApplication::font());
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1000);
        layout.endLayout();
        return line.height();
    };
    if (withNoto()) {
        EXPECT_GT(height(u(u"a \u2068\u05E9\u2069 b")), height("a b"));
    }
}

// Each sentence that names a name, with the name as the app puts it in: the app's words read left
// to right in their order, the name lies wholly between the words before and after it, and a
// right-to-left name reads from its right end. The rail's collapsed tooltip reads "פרויקט · 3
// panes"; a refusal starts with the file's name.
TEST(NameInSentence, a_sentence_reads_in_its_own_order_with_any_name_in_it)
{
    QTemporaryDir dir;
    const QString hebrew = u(u"\u05E4\u05E8\u05D5\u05D9\u05E7\u05D8");                       // פרויקט
    const QString arabic = u(u"\u0645\u0634\u0631\u0648\u0639 2");                           // مشروع 2
    const QString picture = u(u"\u05EA\u05DE\u05D5\u05E0\u05D4.png");                         // תמונה.png
    const QString escaping = u(u"\u05D0\u202C\u2069\u202E b");                                // its own controls
    const struct {
        const char* what;
        QString name, sentence;
        bool rightToLeft;
    } cases[] = {
        {"the rail's tooltip", hebrew, WindowText::collapsedRowHelp(HiddenCharacters::inSentence(hebrew), 3), true},
        {"a number after a name ending in one", arabic, WindowText::collapsedRowHelp(HiddenCharacters::inSentence(arabic), 12), true},
        {"a Latin name beside them", "web", WindowText::collapsedRowHelp(HiddenCharacters::inSentence(u"web"), 3), false},
        {"a refusal opening with the name", picture, ChatAttachments::notAnImageMessage(picture), true},
        {"a number after the name", picture, AttachmentBudget::fullMessage(picture, 2), true},
        {"a refusal of a Latin name", "shot.png", ChatAttachments::notAnImageMessage(QStringLiteral("shot.png")), false},
        {"a path at the sentence's end", dir.filePath(hebrew), FolderChooserLogic::folderProblem(dir.filePath(hebrew)), false},
        {"a name that tries to end the isolate", escaping, ChatAttachments::noMemoryMessage(escaping), true},
    };
    for (const auto& c : cases) {
        const QString shown = HiddenCharacters::inSentence(c.name);
        const qsizetype at = c.sentence.indexOf(shown);
        ASSERT_GE(at, 0) << c.what;
        const qsizetype end = at + shown.size();
        // Nothing of the name's own can end the isolate: its controls are marks.
        EXPECT_EQ(c.sentence.count(QChar(0x2069)), shown.endsWith(QChar(0x2069)) ? 1 : 0) << c.what;
        for (const QFont& font : sentenceFonts()) {
            SCOPED_TRACE(std::string(c.what) + " in " + QFontInfo(font).family().toStdString());
            const QList<Span> s = spans(c.sentence, font);
            const auto drawn = [&](qsizetype i) { return c.sentence[i].category() != QChar::Other_Format && s[i].right > s[i].left; };
            qreal beforeRight = 0, afterLeft = 1e9, lastLeft = -1;
            for (qsizetype i = 0; i < c.sentence.size(); ++i) {
                if ((i >= at && i < end) || !drawn(i))
                    continue;
                EXPECT_GT(s[i].left, lastLeft - 0.01) << "the app's words out of order at " << i;
                lastLeft = s[i].left;
                if (i < at)
                    beforeRight = std::max(beforeRight, s[i].right);
                else
                    afterLeft = std::min(afterLeft, s[i].left);
            }
            qreal nameLeft = 1e9, nameRight = 0;
            for (qsizetype i = at; i < end; ++i) {
                if (!drawn(i))
                    continue;
                nameLeft = std::min(nameLeft, s[i].left);
                nameRight = std::max(nameRight, s[i].right);
            }
            EXPECT_GE(nameLeft, beforeRight - 0.01);
            EXPECT_LE(nameRight, afterLeft + 0.01);
            if (at == 0) {
                EXPECT_LT(nameLeft, 0.01) << "the sentence starts with the name";
            }
            // The name reads in its own direction: right to left, its earlier letters to the right
            // of its later ones (letters inside it: a cursor at a change of direction is ambiguous).
            const qsizetype first = (shown.startsWith(QChar(0x2068)) ? at + 1 : at) + 1;
            const qsizetype last = end - (shown.endsWith(QChar(0x2069)) ? 1 : 0) - 2;
            if (last > first) {
                const qreal a = s[first].left + s[first].right, b = s[last].left + s[last].right;
                EXPECT_EQ(a > b, c.rightToLeft) << a / 2 << " " << b / 2;
            }
        }
    }
    EXPECT_EQ(WindowText::collapsedRowHelp(HiddenCharacters::inSentence(hebrew), 3), u(u"\u2068") + hebrew + u(u"\u2069 · 3 panes"));
}

// A row holding a name is as high as one holding any other, its letters on the same baseline, and
// a sentence holding one keeps the left alignment of the app's words: a name with marks, a
// right-to-left name, both, in the rows that show names (NameText) and in the bar that says a
// project folder is missing.
TEST(NameInSentence, a_row_holding_a_name_is_as_high_as_any_other)
{
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));  // where the static modules keep their qmldir
    QQmlComponent component(&engine);
    component.setData(R"(
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

Column {
    property var names: []
    property real size: 12
    width: 600
    Repeater {
        model: names
        NameText { required property string modelData; name: modelData; font.pointSize: size }
    }
    Repeater {
        model: names
        ErrorBar { required property string modelData; width: 600; message: "Project folder not found: " + HiddenMarks.inSentence(modelData) }
    }
    Repeater {
        model: names
        Text { required property string modelData; text: HiddenMarks.inSentence(modelData) + " is a file, not a folder." }
    }
    Repeater {
        model: names
        MeasuredText {
            required property string modelData
            width: 300; height: 20; verticalAlignment: Text.AlignVCenter; elide: Text.ElideMiddle; font.pointSize: size
            text: "There is no folder at " + HiddenMarks.inSentence(modelData) + "."
        }
    }
}
)",
                      QUrl());
    ASSERT_TRUE(component.isReady()) << qPrintable(component.errorString());
    const QStringList names = {
        "web", u(u"\u05E4\u05E8\u05D5\u05D9\u05E7\u05D8"), u(u"rlo\u202Egpj.exe"), u(u"\u0645\u0634\u0631\u0648\u0639\u200F 2"),
        u(u"\u200F\u05E9\u05DC\u05D5\u05DD"),
    };
    for (const qreal size : {12.0, 9.0, 16.0}) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::unique_ptr<QObject> root(component.createWithInitialProperties({{"names", names}, {"size", size}}));
        ASSERT_TRUE(root);
        const QList<QQuickItem*> items = qobject_cast<QQuickItem*>(root.get())->childItems();
        const auto nth = [&](const char* type, int n) {
            int seen = 0;
            for (QQuickItem* item : items) {
                if (QString::fromLatin1(item->metaObject()->className()).startsWith(QLatin1String(type)) && seen++ == n)
                    return item;
            }
            return static_cast<QQuickItem*>(nullptr);
        };
        for (int i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names[i].toStdString());
            QQuickItem* row = nth("NameText", i);
            QQuickItem* plain = nth("NameText", 0);
            ASSERT_TRUE(row && plain);
            EXPECT_DOUBLE_EQ(row->implicitHeight(), plain->implicitHeight());
            EXPECT_NEAR(row->property("baselineOffset").toReal(), plain->property("baselineOffset").toReal(), 0.01);
            // A line in a height of its own, centred in it as the folder chooser's problem is.
            QQuickItem* centred = nth("MeasuredText", i);
            ASSERT_TRUE(centred);
            EXPECT_NEAR(centred->property("baselineOffset").toReal(), nth("MeasuredText", 0)->property("baselineOffset").toReal(), 0.01);
            QQuickItem* bar = nth("ErrorBar", i);
            ASSERT_TRUE(bar);
            EXPECT_DOUBLE_EQ(bar->implicitHeight(), nth("ErrorBar", 0)->implicitHeight());
            // The sentence's direction is its words', so it aligns as they do.
            QQuickItem* sentence = nth("QQuickText", i);
            ASSERT_TRUE(sentence);
            EXPECT_EQ(sentence->property("effectiveHorizontalAlignment").toInt(), int(Qt::AlignLeft));
        }
    }
}

// Every sentence of the app's that holds a name, with right-to-left names (Hebrew, Arabic) beside
// a Latin one and one holding an override: a group's header as built and as shown upper-cased, a
// strip chip naming a grouped pane ("project·label", one name or two), the ready line of an agent
// card ("version · path"), and the problems that name a tool's path. A group "פרויקט" read
// "SESSIONS 2 · פרויקט" and its chips "session 1·פרויקט".
TEST(NameInSentence, every_sentence_holding_a_name_isolates_it_and_reads_in_order)
{
    const QString hebrew = u(u"\u05E4\u05E8\u05D5\u05D9\u05E7\u05D8");  // פרויקט
    const QString arabic = u(u"\u0645\u0634\u0631\u0648\u0639 2");      // مشروع 2
    const struct {
        QString name;
        bool rightToLeft;
    } names[] = {{hebrew, true}, {arabic, true}, {QStringLiteral("Web"), false}, {u(u"x\u202Eab"), false}};
    const auto placed = [](const QString& name, bool rightToLeft) { return Placed{HiddenCharacters::inSentence(name), rightToLeft}; };
    for (const auto& n : names) {
        SCOPED_TRACE(n.name.toStdString());
        const bool isolated = n.rightToLeft || n.name.contains(QChar(0x202E));
        EXPECT_EQ(HiddenCharacters::inSentence(n.name).startsWith(QChar(0x2068)), isolated);
        Session first, second;
        first.project = n.name;
        second.project = QStringLiteral("other");
        const QList<Session> members{first, second};
        const Placed name = placed(n.name, n.rightToLeft);
        const QString home = QStringLiteral("/home/") + n.name + QStringLiteral("/.local/bin/claude");
        const Placed path = placed(home, false);
        const struct {
            const char* what;
            QString sentence;
            QList<Placed> names;
        } cases[] = {
            {"a group's label", groupLabel(members), {name}},
            {"a group's header, upper-cased", HiddenMarks::plainSentence(groupLabelWords(members).toUpper(), {groupLabelName(members).toUpper()}),
             {placed(n.name.toUpper(), n.rightToLeft)}},
            {"a chip of a grouped pane", HiddenMarks::plainSentence(QStringLiteral("%1\u00b7%2"), {n.name, QStringLiteral("session 1")}),
             {name, placed(QStringLiteral("session 1"), false)}},
            {"a chip whose label is right to left too", HiddenMarks::plainSentence(QStringLiteral("%1\u00b7%2"), {n.name, arabic}),
             {name, placed(arabic, true)}},
            {"an agent card's ready line", SheetLogic::readyDetail({true, home, QStringLiteral("2.1.3 (Claude Code)"), true}),
             {placed(QStringLiteral("2.1.3 (Claude Code)"), false), path}},
            {"a tool that cannot run", ClaudeDetector::parse(home + QStringLiteral("\n---EXIT 1\n---AUTH---\nLogged in\n---EXIT 0\n")).problem, {path}},
            {"a tool that did not answer", ClaudeDetector::parse(home + QStringLiteral("\n"), true, 15000).problem, {path}},
            {"a shell too slow to reach a tool", ClaudeDetector::parse(QString(), true, 1500, home).problem, {path}},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            EXPECT_FALSE(c.sentence.isEmpty());
            expectReadsInOrder(c.sentence, c.names);
        }
        // The header's isolates survive its upper-casing: they stand round the whole name.
        const QString header = HiddenMarks::plainSentence(QStringLiteral("%1 \u00b7 2 SESSIONS"), {n.name.toUpper()});
        EXPECT_EQ(header, placed(n.name.toUpper(), n.rightToLeft).shown + QStringLiteral(" \u00b7 2 SESSIONS"));
    }
    EXPECT_EQ(groupLabel({}), QStringLiteral("group \u00b7 0 sessions"));
    EXPECT_EQ(HiddenMarks::plainSentence(QStringLiteral("%1\u00b7%2"), {hebrew, QStringLiteral("session 1")}),
              u(u"\u2068") + hebrew + u(u"\u2069\u00b7session 1"));
    // A name is put in once, as it is: a "%2" or "$&" in it is no place of the sentence.
    EXPECT_EQ(HiddenMarks::plainSentence(QStringLiteral("%1\u00b7%2 (%3)"), {QStringLiteral("a%2$&"), QStringLiteral("b")}),
              QStringLiteral("a%2$&\u00b7b ()"));
}

// The line that shows a name in one of the app's sentences (NameText with its words): the
// sentence with each name isolated, in plain text, or as styled text with the marks of a name's
// hidden characters; left-aligned as the app's words are, and as high as a line of Latin.
TEST(NameInSentence, a_line_of_words_and_names_isolates_each_name)
{
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    QQmlComponent component(&engine);
    component.setData(R"(
import QtQuick
import Brinmoor.App

Column {
    property var rows: []
    width: 400
    Repeater {
        model: rows
        NameText {
            required property var modelData
            width: 400
            name: modelData.name
            words: modelData.words
            secondName: modelData.more
        }
    }
}
)",
                      QUrl());
    ASSERT_TRUE(component.isReady()) << qPrintable(component.errorString());
    const QString hebrew = u(u"\u05E4\u05E8\u05D5\u05D9\u05E7\u05D8");
    const QString arabic = u(u"\u0645\u0634\u0631\u0648\u0639 2");
    const QString fsi = u(u"\u2068"), pdi = u(u"\u2069");
    const struct {
        QString name, words;
        QString more;
        QString text;  // plain; empty where the line is styled
    } rows[] = {
        {QStringLiteral("WEB"), QStringLiteral("%1 \u00b7 2 SESSIONS"), {}, QStringLiteral("WEB \u00b7 2 SESSIONS")},
        {hebrew, QStringLiteral("%1 \u00b7 2 SESSIONS"), {}, fsi + hebrew + pdi + QStringLiteral(" \u00b7 2 SESSIONS")},
        {arabic, QStringLiteral("%1 \u00b7 12 SESSIONS"), {}, fsi + arabic + pdi + QStringLiteral(" \u00b7 12 SESSIONS")},
        {QStringLiteral("Web"), QStringLiteral("%1\u00b7%2"), QStringLiteral("session 1"), QStringLiteral("Web\u00b7session 1")},
        {hebrew, QStringLiteral("%1\u00b7%2"), QStringLiteral("session 1"), fsi + hebrew + pdi + QStringLiteral("\u00b7session 1")},
        {hebrew, QStringLiteral("%1\u00b7%2"), arabic, fsi + hebrew + pdi + QStringLiteral("\u00b7") + fsi + arabic + pdi},
        {QStringLiteral("Web"), QString(), {}, QStringLiteral("Web")},
        {hebrew, QString(), {}, hebrew},  // a name alone stays as it is
        {hebrew + u(u"\u202E.exe"), QStringLiteral("%1 \u00b7 2 SESSIONS"), {}, QString()},
    };
    QVariantList model;
    for (const auto& r : rows)
        model << QVariantMap{{"name", r.name}, {"words", r.words}, {"more", r.more}};
    std::unique_ptr<QObject> root(component.createWithInitialProperties({{"rows", model}}));
    ASSERT_TRUE(root);
    QList<QQuickItem*> lines;
    for (QQuickItem* item : qobject_cast<QQuickItem*>(root.get())->childItems())
        if (QString::fromLatin1(item->metaObject()->className()).startsWith(QLatin1String("NameText")))
            lines << item;
    ASSERT_EQ(lines.size(), int(std::size(rows)));
    for (int i = 0; i < lines.size(); ++i) {
        const auto& r = rows[i];
        SCOPED_TRACE(r.name.toStdString() + " in " + r.words.toStdString());
        const QString text = lines[i]->property("text").toString();
        if (!r.text.isEmpty()) {
            EXPECT_EQ(text, r.text);
            EXPECT_EQ(lines[i]->property("textFormat").toInt(), 0 /* Text.PlainText */);
        } else {
            // The override as a mark, the name's isolate round the whole marked name.
            EXPECT_EQ(lines[i]->property("textFormat").toInt(), 4 /* Text.StyledText */);
            EXPECT_TRUE(text.startsWith(fsi)) << qPrintable(text);
            EXPECT_TRUE(text.contains(QLatin1String("U+202E"))) << qPrintable(text);
            // The name's isolate and the mark's own, each closed, the name's before the words.
            EXPECT_EQ(text.count(fsi), 1);
            EXPECT_EQ(text.count(pdi), text.count(fsi) + text.count(QChar(0x2066)) + text.count(QChar(0x2067)));
            EXPECT_LT(text.lastIndexOf(pdi), text.indexOf(QLatin1String("SESSIONS")));
            EXPECT_FALSE(text.contains(QChar(0x202E)));
        }
        // What sizes it: the same sentence in plain text.
        EXPECT_EQ(lines[i]->property("shownName").toString(),
                  r.words.isEmpty() ? HiddenMarks::plainName(r.name) : HiddenMarks::plainSentence(r.words, {r.name, r.more}));
        // A sentence aligns as its words do (a name alone, as it reads).
        if (!r.words.isEmpty()) {
            EXPECT_EQ(lines[i]->property("effectiveHorizontalAlignment").toInt(), int(Qt::AlignLeft));
        }
        EXPECT_DOUBLE_EQ(lines[i]->implicitHeight(), lines[0]->implicitHeight());
    }
}
