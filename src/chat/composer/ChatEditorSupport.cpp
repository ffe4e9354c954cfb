#include "ChatEditorSupport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QQuickItem>

namespace brinmoor {

bool ChatEditorSupport::commitComposition(QObject* edit)
{
    if (!edit || edit->property("preeditText").toString().isEmpty())
        return false;
    // A platform input method commits its own candidate; without one (or when it declines),
    // the candidate on screen is committed here.
    QGuiApplication::inputMethod()->commit();
    const QString pending = edit->property("preeditText").toString();
    if (!pending.isEmpty()) {
        QInputMethodEvent commit;
        commit.setCommitString(pending);
        QCoreApplication::sendEvent(edit, &commit);
    }
    return true;
}

void ChatEditorSupport::drawOnlyWhatShows(QObject* item)
{
    auto* edit = qobject_cast<QQuickItem*>(item);
    if (!edit)
        return;
    const bool longDraft = edit->property("length").toInt() >= viewportDrawingFrom;
    if (edit->flags().testFlag(QQuickItem::ItemObservesViewport) != longDraft)
        edit->setFlag(QQuickItem::ItemObservesViewport, longDraft);
}

} // namespace brinmoor
