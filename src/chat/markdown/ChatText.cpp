#include "ChatText.h"

#include "DirectionalRuns.h"
#include "HiddenCharacters.h"
#include "InlineMarkdown.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QTextBoundaryFinder>
#include <QUrl>

namespace brinmoor {

std::function<void(const QUrl&)> ChatText::linkOpener = [](const QUrl& url) { QDesktopServices::openUrl(url); };

int ChatText::characterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int n = 0;
    while (finder.toNextBoundary() > 0)
        ++n;
    return n;
}

int ChatText::lineCount(const QString& text)
{
    return int(text.count(u'\n')) + 1;
}

QString ChatText::firstLines(const QString& text, int count)
{
    if (count <= 0)
        return {};
    qsizetype at = -1;
    for (int i = 0; i < count; ++i) {
        at = text.indexOf(u'\n', at + 1);
        if (at < 0)
            return text;
    }
    return text.left(at);
}

void ChatText::copy(const QString& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

bool ChatText::openLink(const QString& href)
{
    if (!InlineMarkdown::isOpenableLink(href))
        return false;
    const QUrl url(href.trimmed());
    if (!url.isValid())
        return false;
    linkOpener(url);
    return true;
}

bool ChatText::needsRichText(const QString& html)
{
    return InlineMarkdown::needsRichText(html);
}

QString ChatText::shownLines(const QString& text)
{
    return DirectionalRuns::closeAtLineEnds(text);
}

QString ChatText::markedCode(const QString& text)
{
    using namespace HiddenCharacters;
    if (!present(text, Scope::Text))
        return {};
    return QStringLiteral("<span style=\"white-space:pre-wrap\">") + markup(text, Scope::Text, Markup::Rich)
         + QStringLiteral("</span>");
}

QString ChatText::markedOutput(const QString& text)
{
    using namespace HiddenCharacters;
    return present(text, Scope::Text) ? markup(text, Scope::Text, Markup::Styled) : QString();
}

QString ChatText::markedName(const QString& text)
{
    using namespace HiddenCharacters;
    return present(text, Scope::Line) ? markup(text, Scope::Line, Markup::Styled) : QString();
}

QString ChatText::moreLines(int count)
{
    return count == 1 ? tr("… 1 more line") : tr("… %1 more lines").arg(count);
}

} // namespace brinmoor
