#include "ChatEditorSupport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>

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

} // namespace brinmoor
