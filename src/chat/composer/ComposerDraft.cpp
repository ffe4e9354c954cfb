#include "ComposerDraft.h"

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

void ComposerDraft::insertText(int from, int to, const QString& text)
{
    const int size = int(m_text.size());
    const int start = from < 0 ? size : std::min(from, size);
    const int end = to < 0 ? size : std::clamp(to, start, size);
    const int moved = int(text.size()) - (end - start);
    QList<Mark> marks;
    for (const Mark& m : std::as_const(m_marks)) {
        if (m.at < start)
            marks << m;
        else if (m.at >= end)
            marks << Mark{m.at + moved, m.character};
    }
    // A cursor where the text went in ends after it, as in the editor.
    const int cursor = m_cursor < start ? m_cursor : m_cursor >= end ? m_cursor + moved : start + int(text.size());
    keep(m_text.left(start) + text + m_text.mid(end), cursor, marks);
}

} // namespace brinmoor
