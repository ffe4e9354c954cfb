#include "ComposerDraft.h"

#include <algorithm>

namespace brinmoor {

ComposerDraft::ComposerDraft(QObject* parent) : QObject(parent), m_attachments(new AttachmentListModel(this)) {}

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
