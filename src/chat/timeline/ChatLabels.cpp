#include "ChatLabels.h"

#include "AttachmentImage.h"
#include "ChatModels.h"
#include "HeaderFigures.h"

#include <cmath>

namespace brinmoor {

QString ChatLabels::thinkingLabel(const QVariant& seconds)
{
    const QString none = QStringLiteral("Thinking");
    bool ok = false;
    const double s = seconds.isValid() && !seconds.isNull() ? seconds.toDouble(&ok) : 0.0;
    // Anything std::llround could not represent reads as no duration.
    if (!ok || !std::isfinite(s) || s < 0.5 || s >= 9.2e18)
        return none;
    return QStringLiteral("Thought for %1s").arg(std::llround(s));
}

QString ChatLabels::costLabel(double tokensIn, double tokensOut, double costUsd)
{
    return HeaderFigures::label(tokensIn, tokensOut, costUsd);
}

QString ChatLabels::workingLabel(double tokensIn, double tokensOut)
{
    return TimelineRow::workingLabel(tokensIn, tokensOut).value_or(QString());
}

bool ChatLabels::atEnd(double endY, double visibleHeight)
{
    return endY <= visibleHeight + 60;
}

bool ChatLabels::showsThumbnail(const QVariant& attachment)
{
    return AttachmentImage::isThumbnail(attachment);
}

} // namespace brinmoor
