#pragma once

// The plain value records of a chat conversation: messages and their blocks, tool calls, to-do
// lists, permission and question prompts, past sessions, usage limits, attachments, and the rows
// of the timeline the chat pane draws. They are copied in and out; nothing here has an owner.
//
// Equality compares every field in order; texts compare by canonical equivalence (a precomposed
// "é" equals "e" followed by a combining acute), as the sidecar and the pane may hand over either
// form of the same text.
//
// Other records of the conversation live in the application core because AppModel needs them:
// CodePreview in Models.h, ClaudeInfo and ProviderInfo in ProviderDetection.h.

#include "Models.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>
#include <tuple>

namespace brinmoor {

namespace records {

// Canonical equivalence of two texts.
bool sameText(const QString& a, const QString& b);

template <typename T> bool same(const T& a, const T& b);
template <typename T> bool same(const std::optional<T>& a, const std::optional<T>& b);
template <typename T> bool same(const QList<T>& a, const QList<T>& b);
inline bool same(const QString& a, const QString& b) { return sameText(a, b); }

template <typename T> bool same(const T& a, const T& b) { return a == b; }
template <typename T> bool same(const std::optional<T>& a, const std::optional<T>& b)
{
    return a.has_value() == b.has_value() && (!a || same(*a, *b));
}
template <typename T> bool same(const QList<T>& a, const QList<T>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!same(a.at(i), b.at(i)))
            return false;
    return true;
}
// Field by field, in order: sameFields(std::tie(a.x, a.y), std::tie(b.x, b.y)).
template <typename... T> bool sameFields(const std::tuple<const T&...>& a, const std::tuple<const T&...>& b)
{
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return (same(std::get<I>(a), std::get<I>(b)) && ...);
    }(std::index_sequence_for<T...>{});
}

// A list of gadgets as QML reads it.
template <typename T> QVariantList toVariantList(const QList<T>& list)
{
    QVariantList out;
    out.reserve(list.size());
    for (const T& v : list)
        out.append(QVariant::fromValue(v));
    return out;
}

} // namespace records

// Who wrote a message.
enum class ChatRole {
    User,       // the person at the keyboard
    Assistant,  // the agent
};

// One entry of an agent's to-do list.
struct TodoItem {
    Q_GADGET
    QML_VALUE_TYPE(todoItem)
    Q_PROPERTY(QString content MEMBER content)
    Q_PROPERTY(QString status MEMBER status)
public:
    QString content;
    QString status = QStringLiteral("pending");  // as the agent gave it

    friend bool operator==(const TodoItem& a, const TodoItem& b)
    {
        return records::sameFields(std::tie(a.content, a.status), std::tie(b.content, b.status));
    }
};

// How a tool call ended, as far as the conversation tells.
enum class ToolOutcome {
    Pending,      // no result yet
    Done,         // its result came (or it gives none: a web search, a to-do list)
    Failed,       // its result came marked as an error
    Denied,       // the user, or a permission rule, refused to let it run
    Interrupted,  // its turn ended (an interrupt, a crash, a quit) before a result came
};
// "pending", "done", "failed", "denied", "interrupted".
QString outcomeName(ToolOutcome outcome);

// One tool call of the agent.
struct ToolUse {
    Q_GADGET
    QML_VALUE_TYPE(toolUse)
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString summary MEMBER summary)
    Q_PROPERTY(QVariant detail READ detailVariant)
    Q_PROPERTY(QVariant todos READ todosVariant)
    Q_PROPERTY(QString outcome READ outcomeText)
    Q_PROPERTY(double wholeLines READ wholeLinesValue)
    Q_PROPERTY(double wholeChars READ wholeCharsValue)
public:
    QString id;                              // as the agent gave it
    QString name;                            // "Bash", "MultiEdit", "TodoWrite", …
    QString summary;                         // one line, possibly empty
    std::optional<QString> detail;           // plan, command, line diff, content or prompt
    std::optional<QList<TodoItem>> todos;    // only for a to-do list call
    ToolOutcome outcome = ToolOutcome::Pending;  // told by its result, or by its turn's end
    // The detail is the start of a longer text (a written file): that text's lines and
    // characters; 0 when the detail is all of it (ToolDetail).
    qint64 wholeLines = 0;
    qint64 wholeChars = 0;

    double wholeLinesValue() const { return double(wholeLines); }
    double wholeCharsValue() const { return double(wholeChars); }
    // Absent values read as undefined in QML.
    QVariant detailVariant() const { return detail ? QVariant(*detail) : QVariant(); }
    QVariant todosVariant() const { return todos ? QVariant(records::toVariantList(*todos)) : QVariant(); }
    QString outcomeText() const { return outcomeName(outcome); }

    friend bool operator==(const ToolUse& a, const ToolUse& b)
    {
        return records::sameFields(std::tie(a.id, a.name, a.summary, a.detail, a.todos, a.outcome, a.wholeLines, a.wholeChars),
                                   std::tie(b.id, b.name, b.summary, b.detail, b.todos, b.outcome, b.wholeLines, b.wholeChars));
    }
};

// One block of a message, in the order the agent produced them. Only the payload of its kind is
// set; the others stay empty, so equality compares the kind and its payload.
struct ChatBlock {
    enum class Kind {
        Text,        // message text (markdown for the agent's)
        Thinking,    // the agent's reasoning
        ToolUse,     // one tool call
        ToolResult,  // the text a tool returned
    };
    Kind kind = Kind::Text;
    QString text;      // Text, Thinking and ToolResult
    ToolUse toolUse;   // ToolUse
    // ToolResult: the call it answers ("" when the agent did not say) and what it tells of it:
    // done, failed, denied or interrupted.
    QString toolUseId;
    ToolOutcome outcome = ToolOutcome::Done;

    static ChatBlock ofText(const QString& t) { return {Kind::Text, t, {}, {}}; }
    static ChatBlock ofThinking(const QString& t) { return {Kind::Thinking, t, {}, {}}; }
    static ChatBlock ofToolUse(const ToolUse& u) { return {Kind::ToolUse, {}, u, {}}; }
    static ChatBlock ofToolResult(const QString& t, const QString& toolUseId = {}, ToolOutcome outcome = ToolOutcome::Done)
    {
        return {Kind::ToolResult, t, {}, toolUseId, outcome};
    }

    friend bool operator==(const ChatBlock& a, const ChatBlock& b)
    {
        return records::sameFields(std::tie(a.kind, a.text, a.toolUse, a.toolUseId, a.outcome),
                                   std::tie(b.kind, b.text, b.toolUse, b.toolUseId, b.outcome));
    }
};

// A file or image attached to a user message.
struct ChatAttachment {
    Q_GADGET
    QML_VALUE_TYPE(chatAttachment)
    Q_PROPERTY(QString id READ idText)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(bool isImage MEMBER isImage)
    Q_PROPERTY(QString mediaType READ mediaTypeText)
    Q_PROPERTY(QString path READ pathText)
public:
    QUuid id = QUuid::createUuid();
    QString name;                        // shown on the chip
    bool isImage = false;
    std::optional<QString> mediaType;    // an image's media type
    std::optional<QByteArray> data;      // an image's bytes
    std::optional<QString> path;         // the file on disk

    QString idText() const { return uuidText(id); }
    QString mediaTypeText() const { return mediaType.value_or(QString()); }
    QString pathText() const { return path.value_or(QString()); }

    friend bool operator==(const ChatAttachment& a, const ChatAttachment& b)
    {
        return records::sameFields(std::tie(a.id, a.name, a.isImage, a.mediaType, a.data, a.path),
                                   std::tie(b.id, b.name, b.isImage, b.mediaType, b.data, b.path));
    }
};

// One message of a conversation.
struct ChatMessage {
    QUuid id = QUuid::createUuid();
    ChatRole role = ChatRole::User;
    QList<ChatBlock> blocks;
    // Seconds from the turn's start to the arrival of a message holding thinking.
    std::optional<double> thoughtSeconds;
    // Only on user messages sent from the composer.
    QList<ChatAttachment> attachments;
    // A user message whose turn ended (an interrupt, a failure, a crash, a quit) with nothing of
    // an answer after it.
    bool unanswered = false;
    // What ended that turn, in a few words: "interrupted" (the user stopped it or quit) or the
    // short reason of the error that ended it; "" when nothing tells.
    QString noAnswer = {};

    friend bool operator==(const ChatMessage& a, const ChatMessage& b)
    {
        return records::sameFields(std::tie(a.id, a.role, a.blocks, a.thoughtSeconds, a.attachments, a.unanswered, a.noAnswer),
                                   std::tie(b.id, b.role, b.blocks, b.thoughtSeconds, b.attachments, b.unanswered, b.noAnswer));
    }
};

// What the transcript itself tells about how its turns ended, kept on its messages: each tool call
// takes the outcome its result tells, a call left without a result when its turn ended is
// interrupted, and a question nothing answered is marked so. The session applies these live as
// events come; a conversation read back from the agent's store gets them all at once.
namespace TurnEnds {

// Gives the call that `result` answers (found by the result's tool id among the messages from
// `begin` to `end`, the latest first) the outcome the result tells. Returns the index of the message
// holding the call, or -1 when none there has that id.
qsizetype settleCall(QList<ChatMessage>& messages, qsizetype begin, qsizetype end, const ChatBlock& result);
// A turn that began at message `from` ended before its answer was done: every call in it still
// pending is interrupted, and its last user message is unanswered, for `reason` (see
// ChatMessage::noAnswer), when no assistant message follows it. Returns the index of the first
// message changed, or -1 for none.
qsizetype cutTurn(QList<ChatMessage>& messages, qsizetype from, const QString& reason = {});
// The reason a turn was cut by the user: stopped, restarted, or the app quit.
inline const QString interrupted = QStringLiteral("interrupted");
// The reason a turn was cut by its agent going away with nothing said about why.
inline const QString agentEnded = QStringLiteral("the agent ended");
// An error message as the few words an unanswered message shows: its first line, an API error's
// JSON body reduced to its message, at most about 80 characters; "the turn failed" for none.
QString shortReason(const QString& message);
// A conversation read back: every call takes its result's outcome, a call no result answers is
// interrupted (only a turn that was cut leaves one; in a turn whose results name no call, nothing
// can be told and it stays as it is), and every user message followed directly by another, or by
// nothing, is unanswered (for the reason the store gave, when it gave one).
void settleStored(QList<ChatMessage>& messages);

} // namespace TurnEnds

// A tool call waiting for the user's approval.
struct PermissionRequest {
    Q_GADGET
    QML_VALUE_TYPE(permissionRequest)
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QString tool MEMBER tool)
    Q_PROPERTY(QString summary MEMBER summary)
    Q_PROPERTY(QVariant detail READ detailVariant)
    Q_PROPERTY(double wholeLines READ wholeLinesValue)
    Q_PROPERTY(double wholeChars READ wholeCharsValue)
public:
    QString id;     // echoed in the answer
    QString tool;
    QString summary;
    std::optional<QString> detail;
    // As a ToolUse's: the whole text the detail is the start of, 0 when it is all of it.
    qint64 wholeLines = 0;
    qint64 wholeChars = 0;

    QVariant detailVariant() const { return detail ? QVariant(*detail) : QVariant(); }
    double wholeLinesValue() const { return double(wholeLines); }
    double wholeCharsValue() const { return double(wholeChars); }
    friend bool operator==(const PermissionRequest& a, const PermissionRequest& b)
    {
        return records::sameFields(std::tie(a.id, a.tool, a.summary, a.detail, a.wholeLines, a.wholeChars),
                                   std::tie(b.id, b.tool, b.summary, b.detail, b.wholeLines, b.wholeChars));
    }
};

// One answer option of a question (identity: its label).
struct QuestionOption {
    Q_GADGET
    QML_VALUE_TYPE(questionOption)
    Q_PROPERTY(QString label MEMBER label)
    Q_PROPERTY(QString description MEMBER description)
public:
    QString label;
    QString description;

    friend bool operator==(const QuestionOption& a, const QuestionOption& b)
    {
        return records::sameFields(std::tie(a.label, a.description), std::tie(b.label, b.description));
    }
};

// One question of a question request (identity: its text).
struct QuestionItem {
    Q_GADGET
    QML_VALUE_TYPE(questionItem)
    Q_PROPERTY(QString question MEMBER question)
    Q_PROPERTY(QString header MEMBER header)
    Q_PROPERTY(bool multiSelect MEMBER multiSelect)
    Q_PROPERTY(QVariantList options READ optionsVariant)
public:
    QString question;
    QString header;      // a short caption
    bool multiSelect = false;
    QList<QuestionOption> options;

    QVariantList optionsVariant() const { return records::toVariantList(options); }
    friend bool operator==(const QuestionItem& a, const QuestionItem& b)
    {
        return records::sameFields(std::tie(a.question, a.header, a.multiSelect, a.options),
                                   std::tie(b.question, b.header, b.multiSelect, b.options));
    }
};

// A question request from the agent.
struct AskQuestion {
    Q_GADGET
    QML_VALUE_TYPE(askQuestion)
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QVariantList questions READ questionsVariant)
public:
    QString id;  // echoed in the answer
    QList<QuestionItem> questions;

    QVariantList questionsVariant() const { return records::toVariantList(questions); }
    friend bool operator==(const AskQuestion& a, const AskQuestion& b)
    {
        return records::sameFields(std::tie(a.id, a.questions), std::tie(b.id, b.questions));
    }
};

// One past conversation offered for resuming.
struct SessionSummary {
    Q_GADGET
    QML_VALUE_TYPE(sessionSummary)
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QString summary MEMBER summary)
    Q_PROPERTY(double lastModified MEMBER lastModified)
public:
    QString id;          // the provider's conversation id
    QString summary;
    double lastModified = 0;  // in the sidecar's own unit, carried as is

    friend bool operator==(const SessionSummary& a, const SessionSummary& b)
    {
        return records::sameFields(std::tie(a.id, a.summary, a.lastModified), std::tie(b.id, b.summary, b.lastModified));
    }
};

// One usage limit of a provider account. Each decoded report gets fresh ids, so two reports of the
// same limit are different values.
struct UsageMetric {
    Q_GADGET
    QML_VALUE_TYPE(usageMetric)
    Q_PROPERTY(QString id READ idText)
    Q_PROPERTY(QString label MEMBER label)
    Q_PROPERTY(double percent MEMBER percent)
    Q_PROPERTY(QString resetsAt READ resetsAtText)
    Q_PROPERTY(QString resetsLabel READ resetsLabelText)
public:
    QUuid id = QUuid::createUuid();
    QString label;
    double percent = 0;               // 100 means the limit is reached; not clamped
    std::optional<QString> resetsAt;  // an internet date-time (ISO 8601 with a zone)

    // "Resets soon", "Resets in 2d 5h", "Resets in 4h 5m", "Resets in 12m", counted in whole
    // seconds from `now`; none without a readable reset moment.
    std::optional<QString> resetsLabel(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    // Reads exactly date "T" time [fraction] zone ("Z" or ±hh:mm); anything looser gives none.
    static std::optional<QDateTime> parseInternetDateTime(const QString& text);

    QString idText() const { return uuidText(id); }
    QString resetsAtText() const { return resetsAt.value_or(QString()); }
    QString resetsLabelText() const { return resetsLabel().value_or(QString()); }

    friend bool operator==(const UsageMetric& a, const UsageMetric& b)
    {
        return records::sameFields(std::tie(a.id, a.label, a.percent, a.resetsAt),
                                   std::tie(b.id, b.label, b.percent, b.resetsAt));
    }
};

// One row of a chat timeline. Ids stay the same when the transcript grows, so rebuilt rows of
// earlier messages compare equal to their former selves.
struct TimelineRow {
    enum class Kind {
        User,        // a user message: text and attachments
        Thinking,    // a thinking block: text and its message's thought seconds
        Text,        // an assistant text block
        Tool,        // a tool call
        ToolResult,  // a tool's result text
        Working,     // the pane's trailing "at work" row, with an optional label
        Compacting,  // the pane's trailing "compacting" row
    };
    QString id;
    Kind kind = Kind::Text;
    QString text;                          // User, Thinking, Text, ToolResult
    QList<ChatAttachment> attachments;     // User
    std::optional<double> seconds;         // Thinking
    ToolUse tool;                          // Tool
    std::optional<QString> label;          // Working
    // Tool: the call's outcome (also in `tool`); ToolResult: what the result tells.
    ToolOutcome outcome = ToolOutcome::Pending;
    // User: the message went unanswered (its last piece carries the note), and why.
    bool unanswered = false;
    QString noAnswer = {};
    // A long text block is shown as several rows, one per piece (textPieces()): 0 for the first
    // or only one. Later pieces carry the block's row id with "~" and their number.
    int piece = 0;
    // Whether a later piece of the same block or message follows this row.
    bool more = false;
    // A code block too long for one row goes on over several: this piece's first code block goes
    // on from the piece before (codeAbove), its last into the piece after (codeBelow), and
    // wholeCode is that block's whole code, which its copy button copies. A piece holds at most
    // one such block. False, false and empty for every other row.
    bool codeAbove = false;
    bool codeBelow = false;
    QString wholeCode = {};

    // The rows of a transcript, in order; never a working or compacting row. The rows of one
    // message depend on that message alone, so a message appended adds build({message}).
    static QList<TimelineRow> build(const QList<ChatMessage>& messages);
    // A markdown text cut into pieces the list can lay out one at a time, only where one block
    // of the chat's markdown ends and the next begins (a blank line, a fence, a heading or a list
    // item), once a piece has pieceLines lines or pieceChars characters; a table goes on under a
    // copy of its header once a piece has pieceLines lines of it. A block is never cut unless it
    // alone passes blockLines lines or blockChars characters: then a code block is closed and
    // opened again with its own fence line between two of its lines (the pieces carry its whole
    // code), a paragraph is cut between two of its lines, and a line longer than blockChars after
    // a space outside code spans and links where it has one. Joined (less the fences and headers
    // added) the pieces give the text back. A short text is one piece.
    static constexpr int pieceLines = 24;
    static constexpr qsizetype pieceChars = 2400;
    // A row of a long block is laid out whole as it scrolls into view: 400 lines keep that
    // under a few frames, and a long code block's rows still draw as one card.
    static constexpr int blockLines = 400;
    static constexpr qsizetype blockChars = 32000;
    // A line of code up to this long is never cut: it is one piece of its own.
    static constexpr qsizetype codeLineChars = 1024 * 1024;
    struct Piece {
        QString text;
        bool codeAbove = false;
        bool codeBelow = false;
        QString wholeCode = {};
        friend bool operator==(const Piece&, const Piece&) = default;
    };
    static QList<Piece> cutText(const QString& text);
    // The texts of cutText().
    static QStringList textPieces(const QString& text);
    // A user's plain text cut the same way for its bubble: at a line's end once a piece has twice
    // pieceLines lines or pieceChars characters, anywhere at four times that (never inside a
    // character pair). Joined, the pieces are the text.
    static QStringList plainPieces(const QString& text);
    // A markdown table's separator row ("|---|:--:|"): only dashes, pipes, colons and spaces, with at
    // least one dash and one pipe, blanks (spaces, tabs) around it ignored. The chat's markdown
    // parser and the cutting into pieces must agree on it, so both ask here.
    static bool isTableSeparator(QStringView line);
    // The pane's trailing rows, both with the id "working".
    static TimelineRow working(const std::optional<QString>& label);
    static TimelineRow compacting();
    // The row the pane puts after the built ones: none unless the session is busy with no prompt
    // (permission request or question) pending; compacting while it compacts, else working with
    // what the agent says it is doing (`status`, a reconnect), or else workingLabel's text.
    static std::optional<TimelineRow> trailing(bool busy, bool prompting, bool compacting, qint64 tokensIn,
                                               qint64 tokensOut, const QString& status = {});
    // The turn's token count as a short label: none below 1, "950 tokens", "12.3k tokens".
    static std::optional<QString> workingLabel(double tokensIn, double tokensOut);

    friend bool operator==(const TimelineRow& a, const TimelineRow& b)
    {
        return records::sameFields(
            std::tie(a.id, a.kind, a.text, a.attachments, a.seconds, a.tool, a.label, a.outcome, a.unanswered, a.noAnswer, a.piece, a.more,
                     a.codeAbove, a.codeBelow, a.wholeCode),
            std::tie(b.id, b.kind, b.text, b.attachments, b.seconds, b.tool, b.label, b.outcome, b.unanswered, b.noAnswer, b.piece, b.more,
                     b.codeAbove, b.codeBelow, b.wholeCode));
    }
};

// "user", "thinking", "text", "tool", "toolResult", "working", "compacting": the kind as QML reads it.
QString kindName(TimelineRow::Kind kind);

} // namespace brinmoor
