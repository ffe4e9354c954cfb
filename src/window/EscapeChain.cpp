#include "EscapeChain.h"

#include "AppModel.h"

#include <QQuickItem>

namespace brinmoor {

EscapeChain::Closed EscapeChain::handleEscape(AppModel& model)
{
    if (model.codePreview()) {
        model.setCodePreview(std::nullopt);
        return Closed::CodePreview;
    }
    if (model.markdownPreview()) {
        model.setMarkdownPreview(std::nullopt);
        return Closed::MarkdownPreview;
    }
    if (model.activeSheet()) {
        model.setActiveSheet(std::nullopt);
        return Closed::Sheet;
    }
    if (model.maximizedSessionID()) {
        model.setMaximizedSessionID(std::nullopt);
        return Closed::Maximized;
    }
    return Closed::None;
}

QString EscapeChain::name(Closed closed)
{
    switch (closed) {
    case Closed::None: return {};
    case Closed::CodePreview: return QStringLiteral("codePreview");
    case Closed::MarkdownPreview: return QStringLiteral("markdownPreview");
    case Closed::Sheet: return QStringLiteral("sheet");
    case Closed::Maximized: return QStringLiteral("maximized");
    }
    return {};
}

QString EscapeChain::handle() const
{
    return name(handleEscape(*AppModel::instance()));
}

bool EscapeChain::focusKeepsEscape(QQuickItem* item) const
{
    if (!item)
        return false;
    // A read-only text (a preview's selectable body) has no use for Escape.
    const bool editsText = item->inherits("QQuickTextInput") || item->inherits("QQuickTextEdit");
    return editsText && !item->property("readOnly").toBool();
}

} // namespace brinmoor
