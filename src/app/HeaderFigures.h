#pragma once

#include <QString>

namespace brinmoor::HeaderFigures {

// The figures a pane header shows, bounded whatever a provider reports: a value that is not a
// number, negative or beyond any real session counts as none or as the largest figure shown, and
// large values take a unit (k, M, B), so the text never grows past a few characters.

// 999, 1.2k, 3.4M, 5.6B; past 999.9B "999.9B+". Not finite or below 0 counts as 0.
QString tokenText(double tokens);
// "$0.0123" below $1000, then "$1.2k", "$3.4M", "$5.6B" and "$999.9B+"; "" for nothing spent,
// a negative or a non-finite cost.
QString costText(double usd);
// The header's token and cost text: "" when nothing was spent, "999 tokens", "1.2k tokens",
// "1.2k · $0.0123". A narrow pane's header cuts it at the " · " to the cost alone (PaneShell's
// costShort): the two stay in step.
QString label(double tokensIn, double tokensOut, double costUsd);

} // namespace brinmoor::HeaderFigures
