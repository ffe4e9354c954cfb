import QtQuick

// Text whose lines are as high as its own font's lines, whatever fonts its layout takes. A name in
// a sentence stands in directional isolates (U+2066 … U+2069), which many fonts have no glyph for;
// the font found for them (Noto Sans Mono, where fonts-noto-mono is installed) can be taller than
// the text's own, and a line is as tall as the tallest font on it: a row naming such a name grew,
// and its letters sat lower than those of its neighbours. So each line is measured by this item's
// font, and the first line's baseline is put back where that font puts it.
Text {
    id: measured

    lineHeightMode: Text.FixedHeight
    // What a Text's line of this font measures: the font's height, rounded up as the layout does.
    lineHeight: Math.ceil(lineMetrics.ascent + lineMetrics.descent)
    onBaselineOffsetChanged: measured.placeBaseline()
    onFontChanged: measured.placeBaseline()

    FontMetrics {
        id: lineMetrics
        font: measured.font
    }

    // A line is laid out at its top with its own ascent, the tallest of its fonts'; the padding
    // moves its baseline to the font's own ascent and keeps the height. Setting the padding moves
    // the baseline again (by as much, or by a rounded amount where the text is aligned in a height
    // of its own): that change is not answered, so the item never chases its own adjustment.
    property bool placing: false
    function placeBaseline() {
        if (measured.placing)
            return;
        // Where the lines stand in a height of the item's own (the padding, top and bottom
        // together nothing, leaves that room as it is).
        const room = measured.height - measured.topPadding - measured.bottomPadding - measured.contentHeight;
        const aligned = measured.verticalAlignment === Text.AlignVCenter ? room / 2
                      : measured.verticalAlignment === Text.AlignBottom ? room : 0;
        const shift = lineMetrics.ascent - (measured.baselineOffset - measured.topPadding - aligned);
        if (Math.abs(shift - measured.topPadding) < 0.001)
            return;
        measured.placing = true;
        measured.topPadding = shift;
        measured.bottomPadding = -shift;
        measured.placing = false;
    }
}
