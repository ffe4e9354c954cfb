// Box-drawing lines, block elements, scan lines and control pictures drawn on the cell grid.
//
// Every shape is made of whole-pixel rectangles placed from the cell's own edges, so a line that
// leaves one cell at its edge enters the next at the same pixel: rows and columns join without a
// seam at any cell size. A line of weight w runs through the middle of the cell; where lines
// meet, each arm reaches across the perpendicular lines far enough to close the corner. Only the
// rounded corners and the diagonals are curves, drawn antialiased and clipped to the cell.
#include "BoxDrawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

// Line weights of an arm.
constexpr int none = 0, lightW = 1, heavyW = 2, doubleW = 3;

// The four arms of a box-drawing character, written "URDL" (up, right, down, left), each digit a
// weight: 0 none, 1 light, 2 heavy, 3 double. Packed two bits an arm.
constexpr int arms(const char (&urdl)[5])
{
    return (urdl[0] - '0') << 6 | (urdl[1] - '0') << 4 | (urdl[2] - '0') << 2 | (urdl[3] - '0');
}
constexpr int up(int a) { return a >> 6 & 3; }
constexpr int right(int a) { return a >> 4 & 3; }
constexpr int down(int a) { return a >> 2 & 3; }
constexpr int left(int a) { return a & 3; }

// U+2500-U+257F. Zero: a dashed line, an arc or a diagonal, drawn by their own code.
constexpr std::array<int, 128> kArms{
    arms("0101"), arms("0202"), arms("1010"), arms("2020"), // ─ ━ │ ┃
    0, 0, 0, 0, 0, 0, 0, 0,                                 // ┄ ┅ ┆ ┇ ┈ ┉ ┊ ┋
    arms("0110"), arms("0210"), arms("0120"), arms("0220"), // ┌ ┍ ┎ ┏
    arms("0011"), arms("0012"), arms("0021"), arms("0022"), // ┐ ┑ ┒ ┓
    arms("1100"), arms("1200"), arms("2100"), arms("2200"), // └ ┕ ┖ ┗
    arms("1001"), arms("1002"), arms("2001"), arms("2002"), // ┘ ┙ ┚ ┛
    arms("1110"), arms("1210"), arms("2110"), arms("1120"), // ├ ┝ ┞ ┟
    arms("2120"), arms("2210"), arms("1220"), arms("2220"), // ┠ ┡ ┢ ┣
    arms("1011"), arms("1012"), arms("2011"), arms("1021"), // ┤ ┥ ┦ ┧
    arms("2021"), arms("2012"), arms("1022"), arms("2022"), // ┨ ┩ ┪ ┫
    arms("0111"), arms("0112"), arms("0211"), arms("0212"), // ┬ ┭ ┮ ┯
    arms("0121"), arms("0122"), arms("0221"), arms("0222"), // ┰ ┱ ┲ ┳
    arms("1101"), arms("1102"), arms("1201"), arms("1202"), // ┴ ┵ ┶ ┷
    arms("2101"), arms("2102"), arms("2201"), arms("2202"), // ┸ ┹ ┺ ┻
    arms("1111"), arms("1112"), arms("1211"), arms("1212"), // ┼ ┽ ┾ ┿
    arms("2111"), arms("1121"), arms("2121"), arms("2112"), // ╀ ╁ ╂ ╃
    arms("2211"), arms("1122"), arms("1221"), arms("2212"), // ╄ ╅ ╆ ╇
    arms("1222"), arms("2122"), arms("2221"), arms("2222"), // ╈ ╉ ╊ ╋
    0, 0, 0, 0,                                             // ╌ ╍ ╎ ╏
    arms("0303"), arms("3030"), arms("0310"), arms("0130"), // ═ ║ ╒ ╓
    arms("0330"), arms("0013"), arms("0031"), arms("0033"), // ╔ ╕ ╖ ╗
    arms("1300"), arms("3100"), arms("3300"), arms("1003"), // ╘ ╙ ╚ ╛
    arms("3001"), arms("3003"), arms("1310"), arms("3130"), // ╜ ╝ ╞ ╟
    arms("3330"), arms("1013"), arms("3031"), arms("3033"), // ╠ ╡ ╢ ╣
    arms("0313"), arms("0131"), arms("0333"), arms("1303"), // ╤ ╥ ╦ ╧
    arms("3101"), arms("3303"), arms("1313"), arms("3131"), // ╨ ╩ ╪ ╫
    arms("3333"), 0, 0, 0,                                  // ╬ ╭ ╮ ╯
    0, 0, 0, 0,                                             // ╰ ╱ ╲ ╳
    arms("0001"), arms("1000"), arms("0100"), arms("0010"), // ╴ ╵ ╶ ╷
    arms("0002"), arms("2000"), arms("0200"), arms("0020"), // ╸ ╹ ╺ ╻
    arms("0201"), arms("1020"), arms("0102"), arms("2010"), // ╼ ╽ ╾ ╿
};

// The pixel span [a, b) of width w centred in [lo, hi).
struct Span {
    int a = 0, b = 0;
};
Span centred(int lo, int hi, int w)
{
    const int a = lo + (hi - lo - w) / 2;
    return {a, a + w};
}

// The control pictures' abbreviations, U+2400-U+2421 (U+2424, "NL", apart).
constexpr const char* kPictureNames[] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "HT", "LF", "VT", "FF", "CR", "SO", "SI",
    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS", "GS", "RS", "US",
    "SP", "DEL",
};

} // namespace

void BoxDrawing::setMetrics(qreal lineThickness, const QFont& font, int cellHeight)
{
    light_ = std::max(1, int(std::lround(lineThickness)));
    // Heavy keeps the light line's parity, so both centre on the same pixels.
    heavy_ = light_ + 2 * std::max(1, light_ / 2);
    pictureFont_ = font;
    pictureFont_.setBold(false);
    pictureFont_.setItalic(false);
    pictureFont_.setPixelSize(std::max(4, cellHeight / 2));
    sizes_.clear();
}

void BoxDrawing::Shape::add(int x0, int y0, int x1, int y1)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    QRect r(x0, y0, x1 - x0, y1 - y0);
    // Two halves of a straight line are one rectangle: fewer fills.
    for (int i = 0; i < count; ++i) {
        if (mergeInto(rects[size_t(i)], r))
            return;
    }
    if (count < int(rects.size()))
        rects[size_t(count++)] = r;
}

bool BoxDrawing::mergeInto(QRect& into, const QRect& r)
{
    const bool sameColumns = into.left() == r.left() && into.right() == r.right();
    const bool sameRows = into.top() == r.top() && into.bottom() == r.bottom();
    if (sameColumns && r.top() <= into.bottom() + 1 && r.bottom() >= into.top() - 1) {
        into = into.united(r);
        return true;
    }
    if (sameRows && r.left() <= into.right() + 1 && r.right() >= into.left() - 1) {
        into = into.united(r);
        return true;
    }
    return false;
}

const BoxDrawing::Shape& BoxDrawing::shape(char32_t ch, int width, int height) const
{
    auto it = std::find_if(sizes_.begin(), sizes_.end(),
                           [&](const SizedShapes& s) { return s.width == width && s.height == height; });
    if (it == sizes_.end()) {
        // A cell is one of very few sizes; a view that keeps changing its font starts afresh.
        if (sizes_.size() >= 4)
            sizes_.clear();
        sizes_.emplace_back();
        sizes_.back().width = width;
        sizes_.back().height = height;
        it = sizes_.end() - 1;
    }
    const size_t index = ch >= 0x2500 ? size_t(ch - 0x2500) : size_t(160 + ch - 0x23BA);
    Shape& s = it->shapes[index];
    if (s.count < 0) {
        s.count = 0;
        makeShape(ch, width, height, s);
        // Lines thicker than a tiny cell stay inside it.
        for (int i = 0; i < s.count; ++i)
            s.rects[size_t(i)] = s.rects[size_t(i)].intersected(QRect(0, 0, width, height));
    }
    return s;
}

bool BoxDrawing::appendRects(char32_t ch, const QRect& cell, std::vector<QRect>& out) const
{
    if (!covers(ch) && !(ch >= 0x23BA && ch <= 0x23BD))
        return false;
    const Shape& s = shape(ch, cell.width(), cell.height());
    if (s.painted)
        return false;
    // A line running on from the cells before extends their rectangle.
    const size_t mergeable = out.size();
    for (int i = 0; i < s.count; ++i) {
        const QRect r = s.rects[size_t(i)].translated(cell.topLeft());
        bool merged = false;
        for (size_t k = mergeable; k > 0 && k + 4 > mergeable && !merged; --k)
            merged = mergeInto(out[k - 1], r);
        if (!merged)
            out.push_back(r);
    }
    return true;
}

void BoxDrawing::draw(QPainter* painter, char32_t ch, const QRect& cell, const QColor& color) const
{
    if (covers(ch) || (ch >= 0x23BA && ch <= 0x23BD)) {
        const Shape& s = shape(ch, cell.width(), cell.height());
        if (!s.painted) {
            for (int i = 0; i < s.count; ++i)
                painter->fillRect(s.rects[size_t(i)].translated(cell.topLeft()), color);
            return;
        }
    }
    switch (ch) {
    case 0x256D: case 0x256E: case 0x256F: case 0x2570: drawArc(painter, ch, cell, color); return; // ╭ ╮ ╯ ╰
    case 0x2571: case 0x2572: case 0x2573: drawDiagonals(painter, ch, cell, color); return;        // ╱ ╲ ╳
    case 0x2591: case 0x2592: case 0x2593: {
        // ░ ▒ ▓: the colour over the background at a quarter, a half, three quarters
        QColor shade = color;
        shade.setAlphaF(color.alphaF() * (ch - 0x2590) / 4.0);
        painter->fillRect(cell, shade);
        return;
    }
    default:
        drawPicture(painter, ch, cell, color);
    }
}

void BoxDrawing::makeShape(char32_t ch, int w, int h, Shape& out) const
{
    if (ch >= 0x2500 && ch <= 0x257F) {
        if (const int a = kArms[ch - 0x2500]) {
            lines(a, w, h, out);
            return;
        }
        switch (ch) {
        case 0x2504: dashes(lightW, 3, false, w, h, out); return; // ┄
        case 0x2505: dashes(heavyW, 3, false, w, h, out); return; // ┅
        case 0x2506: dashes(lightW, 3, true, w, h, out); return;  // ┆
        case 0x2507: dashes(heavyW, 3, true, w, h, out); return;  // ┇
        case 0x2508: dashes(lightW, 4, false, w, h, out); return; // ┈
        case 0x2509: dashes(heavyW, 4, false, w, h, out); return; // ┉
        case 0x250A: dashes(lightW, 4, true, w, h, out); return;  // ┊
        case 0x250B: dashes(heavyW, 4, true, w, h, out); return;  // ┋
        case 0x254C: dashes(lightW, 2, false, w, h, out); return; // ╌
        case 0x254D: dashes(heavyW, 2, false, w, h, out); return; // ╍
        case 0x254E: dashes(lightW, 2, true, w, h, out); return;  // ╎
        case 0x254F: dashes(heavyW, 2, true, w, h, out); return;  // ╏
        default: out.painted = true; return;                       // arcs and diagonals
        }
    }
    if (ch >= 0x2580 && ch <= 0x259F) {
        out.painted = !block(ch, w, h, out);
        return;
    }
    if (ch >= 0x23BA && ch <= 0x23BD) {
        // DEC's scan lines 1, 3, 7 and 9 of nine (scan 5 is the middle line, ─).
        static constexpr int scan[] = {1, 3, 7, 9};
        const int y = int(std::lround((scan[ch - 0x23BA] - 1) * (h - light_) / 8.0));
        out.add(0, y, w, y + light_);
    }
}

void BoxDrawing::lines(int a, int w, int h, Shape& out) const
{
    // The vertical arms, crossed by the left and right ones; then the horizontal arms, crossed
    // by the up and down ones: the same rules with x and y exchanged.
    axis(true, up(a), down(a), left(a), right(a), h, w, out);
    axis(false, left(a), right(a), up(a), down(a), w, h, out);
}

void BoxDrawing::axis(bool vertical, int startArm, int endArm, int lowArm, int highArm, int length, int breadth,
                      Shape& out) const
{
    // "Across" is the axis's breadth (x for a vertical line), "along" its length (y).
    const int L = light_;
    auto thickness = [&](int weight) { return weight == heavyW ? heavy_ : L; };
    // Where a single line of this axis runs across, and where a single crossing line runs along.
    auto across = [&](int weight) { return centred(0, breadth, thickness(weight)); };
    auto along = [&](int weight) { return centred(0, length, thickness(weight)); };
    // Double lines: two light lines a light line apart, given by their first pixels: this axis's
    // (across) and the crossing ones (along).
    const int first = centred(0, breadth, 3 * L).a, second = first + 2 * L;
    const int crossFirst = centred(0, length, 3 * L).a, crossSecond = crossFirst + 2 * L;
    auto add = [&](int across0, int along0, int across1, int along1) {
        if (vertical)
            out.add(across0, along0, across1, along1);
        else
            out.add(along0, across0, along1, across1);
    };

    // What the crossing arms cover along this axis, where a single line meets them.
    Span band{INT_MAX, INT_MIN};
    for (const int weight : {lowArm, highArm}) {
        if (weight == none)
            continue;
        const Span t = weight == doubleW ? Span{crossFirst, crossSecond + L} : along(weight);
        band = {std::min(band.a, t.a), std::max(band.b, t.b)};
    }
    const bool crossed = lowArm || highArm;
    // With no crossing arm, the two halves of a straight line overlap on the middle light line;
    // a half line alone ends in the middle, as thick as it is.
    const Span middle = along(lightW);

    for (const bool atStart : {true, false}) {
        const int weight = atStart ? startArm : endArm;
        if (weight == none)
            continue;
        const int other = atStart ? endArm : startArm;
        if (weight != doubleW) {
            const Span line = across(weight);
            // A line stopping at a double line meets its near line; one passing through, or
            // turning a corner, reaches across both.
            const bool stopsAtDouble = lowArm == doubleW && highArm == doubleW && !other;
            if (atStart)
                add(line.a, 0, line.b,
                    !crossed ? (other ? middle.b : along(weight).b) : stopsAtDouble ? crossFirst + L : band.b);
            else
                add(line.a, !crossed ? (other ? middle.a : along(weight).a) : stopsAtDouble ? crossSecond : band.a,
                    line.b, length);
            continue;
        }
        // A double line: each of its two lines ends where it meets a crossing line, the one on its
        // own side first.
        for (const bool firstLine : {true, false}) {
            const int at = firstLine ? first : second;
            const int nearArm = firstLine ? lowArm : highArm, farArm = firstLine ? highArm : lowArm;
            if (atStart) {
                const int to = nearArm == doubleW ? crossFirst + L
                               : nearArm           ? along(nearArm).b
                               : farArm == doubleW ? crossSecond + L
                               : farArm            ? along(farArm).b
                                                   : length / 2;
                add(at, 0, at + L, to);
            } else {
                const int from = nearArm == doubleW ? crossSecond
                                 : nearArm           ? along(nearArm).a
                                 : farArm == doubleW ? crossFirst
                                 : farArm            ? along(farArm).a
                                                     : length / 2;
                add(at, from, at + L, length);
            }
        }
    }
}

void BoxDrawing::dashes(int weight, int count, bool vertical, int w, int h, Shape& out) const
{
    const int length = vertical ? h : w;
    // A dash and a gap need two pixels each: a small cell takes fewer dashes.
    count = std::max(1, std::min(count, length / 2));
    const Span across = centred(0, vertical ? w : h, weight == heavyW ? heavy_ : light_);
    for (int i = 0; i < count; ++i) {
        // Each dash starts its share of the cell and leaves the second half of it empty, so the
        // gap after the last dash of one cell matches the gaps inside it.
        const int a = i * length / count;
        const int next = (i + 1) * length / count;
        const int b = std::max(a + 1, a + (next - a + 1) / 2);
        if (vertical)
            out.add(across.a, a, across.b, b);
        else
            out.add(a, across.a, b, across.b);
    }
}

bool BoxDrawing::block(char32_t ch, int w, int h, Shape& out) const
{
    auto eighthsDown = [&](int k) { return int(std::lround(h * k / 8.0)); };
    auto eighthsRight = [&](int k) { return int(std::lround(w * k / 8.0)); };
    const int mx = eighthsRight(4), my = eighthsDown(4);
    // Quadrants: upper left, upper right, lower left, lower right.
    auto quadrants = [&](bool ul, bool ur, bool ll, bool lr) {
        if (ul)
            out.add(0, 0, mx, my);
        if (ur)
            out.add(mx, 0, w, my);
        if (ll)
            out.add(0, my, mx, h);
        if (lr)
            out.add(mx, my, w, h);
    };
    switch (ch) {
    case 0x2580: out.add(0, 0, w, my); break; // ▀ upper half
    case 0x2581: case 0x2582: case 0x2583: case 0x2584: case 0x2585: case 0x2586: case 0x2587: case 0x2588:
        // ▁ ▂ ▃ ▄ ▅ ▆ ▇ █: the lower k eighths
        out.add(0, eighthsDown(8 - int(ch - 0x2580)), w, h);
        break;
    case 0x2589: case 0x258A: case 0x258B: case 0x258C: case 0x258D: case 0x258E: case 0x258F:
        // ▉ ▊ ▋ ▌ ▍ ▎ ▏: the left k eighths, seven down to one
        out.add(0, 0, eighthsRight(8 - int(ch - 0x2588)), h);
        break;
    case 0x2590: out.add(mx, 0, w, h); break; // ▐ right half
    case 0x2591: case 0x2592: case 0x2593: return false; // shades: painted
    case 0x2594: out.add(0, 0, w, std::max(1, eighthsDown(1))); break; // ▔ upper eighth
    case 0x2595: out.add(std::min(w - 1, eighthsRight(7)), 0, w, h); break; // ▕ right eighth
    case 0x2596: quadrants(false, false, true, false); break; // ▖
    case 0x2597: quadrants(false, false, false, true); break; // ▗
    case 0x2598: quadrants(true, false, false, false); break; // ▘
    case 0x2599: quadrants(true, false, true, true); break;   // ▙
    case 0x259A: quadrants(true, false, false, true); break;  // ▚
    case 0x259B: quadrants(true, true, true, false); break;   // ▛
    case 0x259C: quadrants(true, true, false, true); break;   // ▜
    case 0x259D: quadrants(false, true, false, false); break; // ▝
    case 0x259E: quadrants(false, true, true, false); break;  // ▞
    case 0x259F: quadrants(false, true, true, true); break;   // ▟
    default: break;
    }
    return true;
}

void BoxDrawing::drawArc(QPainter* p, char32_t ch, const QRect& cell, const QColor& color) const
{
    const int x0 = cell.left(), x1 = cell.right() + 1, y0 = cell.top(), y1 = cell.bottom() + 1;
    // The centre lines of the light vertical and horizontal lines the arc joins.
    const qreal cx = centred(x0, x1, light_).a + light_ / 2.0;
    const qreal cy = centred(y0, y1, light_).a + light_ / 2.0;
    const bool toRight = ch == 0x256D || ch == 0x2570; // ╭ ╰
    const bool toDown = ch == 0x256D || ch == 0x256E;  // ╭ ╮
    // The horizontal end leaves through the left or right edge, the vertical one through the top
    // or bottom edge; the curve between them is a quarter circle as large as the cell allows.
    const qreal ex = toRight ? x1 + 1 : x0 - 1;
    const qreal ey = toDown ? y1 + 1 : y0 - 1;
    const qreal radius = std::max<qreal>(1, std::min(std::abs(ex - cx), std::abs(ey - cy)) - 1);
    const qreal sx = toRight ? 1 : -1, sy = toDown ? 1 : -1;
    QPainterPath path(QPointF(ex, cy));
    path.lineTo(cx + sx * radius, cy);
    path.quadTo(QPointF(cx, cy), QPointF(cx, cy + sy * radius));
    path.lineTo(cx, ey);
    p->save();
    p->setClipRect(cell, Qt::IntersectClip);
    p->setRenderHint(QPainter::Antialiasing, true);
    QPen pen(color, light_);
    pen.setCapStyle(Qt::FlatCap);
    p->strokePath(path, pen);
    p->restore();
}

void BoxDrawing::drawDiagonals(QPainter* p, char32_t ch, const QRect& cell, const QColor& color) const
{
    const QRectF r(cell);
    // Drawn past the corners and clipped, so diagonals of neighbouring cells meet at the corner.
    const QPointF step(r.width() / r.height(), 1);
    p->save();
    p->setClipRect(cell, Qt::IntersectClip);
    p->setRenderHint(QPainter::Antialiasing, true);
    QPen pen(color, light_);
    pen.setCapStyle(Qt::FlatCap);
    p->setPen(pen);
    if (ch != 0x2572) // ╱ and ╳
        p->drawLine(r.bottomLeft() + QPointF(-step.x(), step.y()), r.topRight() + QPointF(step.x(), -step.y()));
    if (ch != 0x2571) // ╲ and ╳
        p->drawLine(r.topLeft() - step, r.bottomRight() + step);
    p->restore();
}

void BoxDrawing::drawPicture(QPainter* p, char32_t ch, const QRect& cell, const QColor& color) const
{
    const char* name = ch == 0x2424 ? "NL" : (ch >= 0x2400 && ch <= 0x2421) ? kPictureNames[ch - 0x2400] : nullptr;
    if (!name)
        return;
    // The abbreviation's letters stepping down from the upper left to the lower right corner,
    // as on a VT100's screen.
    const int n = int(std::strlen(name));
    QFont font = pictureFont_;
    if (n > 2)
        font.setPixelSize(std::max(4, pictureFont_.pixelSize() * 2 / 3));
    const QFontMetricsF fm(font);
    const QRectF r(cell);
    p->save();
    p->setClipRect(cell, Qt::IntersectClip);
    p->setFont(font);
    p->setPen(color);
    for (int i = 0; i < n; ++i) {
        const QString letter = QString(QLatin1Char(name[i]));
        const qreal x = r.left() + (r.width() - fm.horizontalAdvance(letter)) * i / (n - 1);
        const qreal baseline = r.top() + fm.ascent() + (r.height() - fm.ascent() - fm.descent()) * i / (n - 1);
        p->drawText(QPointF(x, baseline), letter);
    }
    p->restore();
}
