#include "InlineMarkdown.h"

#include "DirectionalRuns.h"
#include "HiddenCharacters.h"
#include "WebLinks.h"

#include <QFontDatabase>
#include <QUrl>

#include <md4c.h>

namespace brinmoor::InlineMarkdown {

namespace {

// Every line of the text is wrapped in a pair of these sentinels before md4c sees it. A line that
// starts with one cannot open a block ("#", ">", "-", "1.", "```", four spaces, "[x]: y", "===")
// and a line that ends with one keeps its trailing spaces (no hard break eats them). They are
// Unicode spaces to md4c, so emphasis next to them behaves as at the start or end of a line. The
// first of them that the text does not contain is used, and taken out of what md4c gives back.
constexpr char16_t firstSentinel = 0x2000;  // EN QUAD
constexpr char16_t lastSentinel = 0x200A;   // HAIR SPACE

struct Builder {
    QChar sentinel;
    QList<Run> runs;
    QList<int> spans;    // the style each open span adds
    QString href;        // of the innermost open link
    int blocks = 0;

    int styles() const
    {
        int s = Run::Plain;
        for (int x : spans)
            s |= x;
        return s;
    }

    void append(QString text)
    {
        text.remove(sentinel);
        if (text.isEmpty())
            return;
        const int s = styles();
        const QString link = (s & Run::Link) ? href : QString();
        if (!runs.isEmpty() && runs.back().styles == s && runs.back().href == link)
            runs.back().text += text;
        else
            runs.append(Run{text, s, link});
    }
};

Builder& builder(void* userdata)
{
    return *static_cast<Builder*>(userdata);
}

QString attributeText(const MD_ATTRIBUTE& a)
{
    return QString::fromUtf8(a.text, qsizetype(a.size));
}

int enterBlock(MD_BLOCKTYPE type, void*, void* userdata)
{
    // The sentinels leave one paragraph; should md4c ever split it, the parts stay on their own lines.
    if (type == MD_BLOCK_P && builder(userdata).blocks++ > 0)
        builder(userdata).append(QStringLiteral("\n"));
    return 0;
}

int leaveBlock(MD_BLOCKTYPE, void*, void*)
{
    return 0;
}

int enterSpan(MD_SPANTYPE type, void* detail, void* userdata)
{
    Builder& b = builder(userdata);
    switch (type) {
    case MD_SPAN_EM: b.spans.append(Run::Emphasis); break;
    case MD_SPAN_STRONG: b.spans.append(Run::Strong); break;
    case MD_SPAN_CODE: b.spans.append(Run::Code); break;
    case MD_SPAN_DEL: b.spans.append(Run::Strikethrough); break;
    case MD_SPAN_A:
        b.href = attributeText(static_cast<MD_SPAN_A_DETAIL*>(detail)->href).remove(b.sentinel);
        b.spans.append(Run::Link);
        break;
    default:
        // Images and anything else: their text shows plain; nothing is fetched.
        b.spans.append(Run::Plain);
        break;
    }
    return 0;
}

int leaveSpan(MD_SPANTYPE, void*, void* userdata)
{
    Builder& b = builder(userdata);
    if (!b.spans.isEmpty())
        b.spans.removeLast();
    return 0;
}

int onText(MD_TEXTTYPE type, const MD_CHAR* text, MD_SIZE size, void* userdata)
{
    Builder& b = builder(userdata);
    switch (type) {
    case MD_TEXT_BR:
    case MD_TEXT_SOFTBR:
        b.append(QStringLiteral("\n"));
        break;
    case MD_TEXT_NULLCHAR:
        b.append(QString(QChar::ReplacementCharacter));
        break;
    default:
        // Normal text, code, and entities and HTML as they were typed.
        b.append(QString::fromUtf8(text, qsizetype(size)));
        break;
    }
    return 0;
}

QString monospaceFamily()
{
    static const QString family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    return family;
}

// Escapes agent text for rich text; line feeds become breaks, and spaces keep their number
// through the pre-wrap style of the whole text.
QString escaped(const QString& text)
{
    QString out = text.toHtmlEscaped();
    out.replace(u'\n', QStringLiteral("<br>"));
    return out;
}

// The same with hidden characters shown as marks, for code and table cells.
QString escapedMarked(const QString& text)
{
    using namespace HiddenCharacters;
    return present(text, Scope::Text) ? markup(text, Scope::Text, Markup::Rich) : escaped(text);
}

QString wrapped(const QString& body)
{
    return QStringLiteral("<span style=\"white-space:pre-wrap\">") + body + QStringLiteral("</span>");
}

} // namespace

std::optional<QList<Run>> parse(const QString& text)
{
    Builder b;
    for (char16_t c = firstSentinel; c <= lastSentinel; ++c) {
        if (!text.contains(QChar(c))) {
            b.sentinel = QChar(c);
            break;
        }
    }
    if (b.sentinel.isNull())
        return std::nullopt;

    // md4c also ends lines at carriage returns: fence those lines too (each break comes out as "\n").
    QString fenced;
    fenced.reserve(text.size() + 64);
    qsizetype start = 0;
    for (;;) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        fenced += b.sentinel;
        fenced += QStringView(text).mid(start, end - start);
        fenced += b.sentinel;
        if (end >= text.size())
            break;
        fenced += u'\n';
        start = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
    }
    const QByteArray utf8 = fenced.toUtf8();

    MD_PARSER parser{};
    parser.abi_version = 0;
    parser.flags = MD_FLAG_NOHTML | MD_FLAG_STRIKETHROUGH;
    parser.enter_block = enterBlock;
    parser.leave_block = leaveBlock;
    parser.enter_span = enterSpan;
    parser.leave_span = leaveSpan;
    parser.text = onText;
    if (md_parse(utf8.constData(), MD_SIZE(utf8.size()), &parser, &b) != 0)
        return std::nullopt;
    return b.runs;
}

QString toHtml(const QList<Run>& runs, bool markAll)
{
    QString out;
    for (const Run& r : runs) {
        QString open;
        QString close;
        if (r.styles & Run::Link) {
            open += QStringLiteral("<a href=\"") + r.href.toHtmlEscaped()
                  + QStringLiteral("\" style=\"color:#5b8cdd;text-decoration:none\">");
            close.prepend(QStringLiteral("</a>"));
        }
        if (r.styles & Run::Strong) {
            open += QStringLiteral("<b>");
            close.prepend(QStringLiteral("</b>"));
        }
        if (r.styles & Run::Emphasis) {
            open += QStringLiteral("<i>");
            close.prepend(QStringLiteral("</i>"));
        }
        if (r.styles & Run::Strikethrough) {
            open += QStringLiteral("<s>");
            close.prepend(QStringLiteral("</s>"));
        }
        if (r.styles & Run::Code) {
            open += QStringLiteral("<span style=\"font-family:'") + monospaceFamily().toHtmlEscaped()
                  + QStringLiteral("'\">");
            close.prepend(QStringLiteral("</span>"));
        }
        out += open + (markAll || (r.styles & Run::Code) ? escapedMarked(r.text) : escaped(r.text)) + close;
    }
    return wrapped(out);
}

bool needsRichText(const QString& html)
{
    return html.contains(QLatin1String("<a ")) || html.contains(QLatin1String("<span style=\"font-family"))
        || html.contains(QLatin1String("  "));
}

QString plainHtml(const QString& text)
{
    return wrapped(escaped(text));
}

QString render(const QString& text, bool markAll)
{
    auto runs = parse(text);
    if (!runs)
        return markAll ? wrapped(escapedMarked(text)) : plainHtml(DirectionalRuns::closeAtLineEnds(text));
    // A paragraph is one laid-out block whose lines are breaks within it: a direction override in
    // one line must end with that line, not reverse the ones after it. Code shows its own as marks.
    if (!markAll && DirectionalRuns::present(text)) {
        DirectionalRuns directions;
        Run* lastProse = nullptr;
        for (Run& r : *runs) {
            // What prose left open would reorder the code after it: it ends before the code.
            if (r.styles & Run::Code) {
                if (lastProse)
                    lastProse->text += directions.close();
                continue;
            }
            QString closed;
            directions.feed(r.text, closed);
            r.text = std::move(closed);
            lastProse = &r;
        }
        if (lastProse)
            lastProse->text += directions.close();
    }
    return toHtml(*runs, markAll);
}

bool isOpenableLink(const QString& href)
{
    return WebLinks::isOpenable(href);
}

} // namespace brinmoor::InlineMarkdown
