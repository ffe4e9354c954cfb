#include "ComposerDraft.h"

#include "ComposerModel.h"
#include "HiddenCharacters.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace brinmoor {

ComposerDraft::ComposerDraft(QObject* parent) : QObject(parent), m_attachments(new AttachmentListModel(this))
{
    // A paste still read when the composer went (its session restarted or stopped) lands here.
    m_attachments->setDraftKeeper([this](int from, int to, const QString& text) { insertText(from, to, text); });
}

void ComposerDraft::keep(const QString& text, int cursorPosition, const QList<Mark>& marks)
{
    const int cursor = std::clamp(cursorPosition, 0, int(text.size()));
    if (text == m_text && cursor == m_cursor && marks == m_marks)
        return;
    m_text = text;
    m_cursor = cursor;
    m_marks = marks;
    emit changed();
}

} // namespace brinmoor

namespace brinmoor {

bool ComposerDraft::tooManyMarks(int start, int end, const QString& text, const QList<HiddenCharacters::Found>& found,
                                 bool fenced) const
{
    if (found.size() > (fenced ? ComposerModel::mostFencedMarksPasted : ComposerModel::mostMarksPasted))
        return true;
    // The paste's first line joins the marks before it in its paragraph, its last line those after.
    const qsizetype paragraphStart = start == 0 ? 0 : m_text.lastIndexOf(u'\n', start - 1) + 1;
    const qsizetype next = m_text.indexOf(u'\n', end);
    const qsizetype paragraphEnd = next < 0 ? m_text.size() : next;
    const auto marksBetween = [this](qsizetype from, qsizetype to) {
        return std::count_if(m_marks.begin(), m_marks.end(), [&](const Mark& m) { return m.at >= from && m.at < to; });
    };
    qsizetype count = marksBetween(paragraphStart, start), most = 0, i = 0;
    for (qsizetype at = text.indexOf(u'\n');; at = text.indexOf(u'\n', at + 1)) {
        const qsizetype lineEnd = at < 0 ? text.size() : at;
        for (; i < found.size() && found[i].at < lineEnd; ++i)
            ++count;
        if (at < 0)
            break;
        most = std::max(most, count);
        count = 0;
    }
    most = std::max(most, count + marksBetween(end, paragraphEnd));
    return most > (fenced ? ComposerModel::mostFencedMarksAround : ComposerModel::mostMarksAround);
}

qsizetype ComposerDraft::longestUnbroken(int start, int end, const QString& shown) const
{
    // Only the stretches the paste is part of: a long one elsewhere in its paragraphs was there.
    const qsizetype paragraphStart = start == 0 ? 0 : m_text.lastIndexOf(u'\n', start - 1) + 1;
    const qsizetype next = m_text.indexOf(u'\n', end);
    const qsizetype paragraphEnd = next < 0 ? m_text.size() : next;
    const QString head = m_text.sliced(paragraphStart, start - paragraphStart);
    const QString joined = head + shown + m_text.sliced(end, paragraphEnd - end);
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, joined.constData(), joined.size());
    qsizetype longest = 0, last = 0;
    for (qsizetype at = breaks.toNextBoundary(); at >= 0; at = breaks.toNextBoundary()) {
        if (at > head.size() && last < head.size() + shown.size())
            longest = std::max(longest, at - last);
        last = at;
    }
    return longest;
}

void ComposerDraft::insertText(int from, int to, const QString& text)
{
    const int size = int(m_text.size());
    const int start = from < 0 ? size : std::min(from, size);
    const int end = to < 0 ? size : std::clamp(to, start, size);
    // Its hidden characters go in as their marks, as the editor puts a paste in: the stopped card
    // shows the kept draft as it reads, and the next composer takes them for marks. In their
    // isolates where the paste or the paragraph it goes into has right-to-left letters.
    QString shown;
    QList<Mark> added;
    const QList<HiddenCharacters::Found> found = HiddenCharacters::find(text, HiddenCharacters::Scope::Text);
    if (found.isEmpty()) {
        shown = text;
    } else {
        const qsizetype paragraphStart = start == 0 ? 0 : m_text.lastIndexOf(u'\n', start - 1) + 1;
        const qsizetype paragraphEnd = m_text.indexOf(u'\n', end) < 0 ? size : m_text.indexOf(u'\n', end);
        const bool isolated = ComposerModel::holdsRightToLeftLetters(text)
                           || ComposerModel::holdsRightToLeftLetters(QStringView(m_text).sliced(paragraphStart, paragraphEnd - paragraphStart));
        qsizetype done = 0;
        for (const HiddenCharacters::Found& hidden : found) {
            shown += QStringView(text).sliced(done, hidden.at - done);
            added.append({start + int(shown.size()), hidden.character});
            shown += ComposerModel::markText(hidden.character, isolated);
            done = hidden.at + hidden.length;
        }
        shown += QStringView(text).sliced(done);
        // The next composer lays out what it is given as the editor would have laid the paste
        // out: so many marks that a key there could not keep up go as a chip, as they would have.
        if (tooManyMarks(start, end, text, found, isolated)) {
            m_attachments->attachPastedText(text, found.size());
            return;
        }
    }
    if (longestUnbroken(start, end, shown) > ComposerModel::mostUnbrokenPasted) {
        m_attachments->attachPastedText(text, found.size());
        return;
    }
    const int moved = int(shown.size()) - (end - start);
    QList<Mark> marks;
    for (const Mark& m : std::as_const(m_marks)) {
        if (m.at < start)
            marks << m;
        else if (m.at >= end)
            marks << Mark{m.at + moved, m.character};
    }
    marks += added;
    std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.at < b.at; });
    // A cursor where the text went in ends after it, as in the editor.
    const int cursor = m_cursor < start ? m_cursor : m_cursor >= end ? m_cursor + moved : start + int(shown.size());
    keep(m_text.left(start) + shown + m_text.mid(end), cursor, marks);
}

} // namespace brinmoor
