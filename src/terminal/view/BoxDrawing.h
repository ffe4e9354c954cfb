#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

#include <array>
#include <cstdint>
#include <vector>

class QPainter;

// The characters a terminal draws itself instead of taking them from its font: the box-drawing
// lines and block elements (U+2500-U+259F), drawn edge to edge of the cell so that a line meets
// the next cell's line in every direction at any font size (a font's glyphs are shaded where
// they fall between pixels, and shorter than a cell that also holds the line spacing); and, where
// the font has none, the scan lines and control pictures of the DEC special graphics set
// (U+23BA-U+23BD, U+2400-U+2424), which would otherwise show as boxes.
class BoxDrawing {
public:
    // Box drawing and block elements: always drawn here.
    static bool covers(char32_t ch) { return ch >= 0x2500 && ch <= 0x259F; }
    // Scan lines and control pictures: drawn here when the font lacks them.
    static bool coversMissing(char32_t ch)
    {
        return (ch >= 0x23BA && ch <= 0x23BD) || (ch >= 0x2400 && ch <= 0x2421) || ch == 0x2424;
    }

    // The stroke of a light line in pixels (at least 1), from the font's own line thickness;
    // heavy and double lines follow from it. The font's letters label the control pictures.
    void setMetrics(qreal lineThickness, const QFont& font, int cellHeight);
    int light() const { return light_; }
    int heavy() const { return heavy_; }

    // The solid rectangles that make a character in a cell (whole pixels: cells that touch share
    // an edge), appended to `out`; false when the character is not made of them alone (rounded
    // corners, diagonals, shades, control pictures: draw() paints those). Lines and blocks are
    // everywhere in full-screen programs: a row gathers them and fills them in one go.
    bool appendRects(char32_t ch, const QRect& cell, std::vector<QRect>& out) const;
    // Draws one character into the cell in the colour given.
    void draw(QPainter* painter, char32_t ch, const QRect& cell, const QColor& color) const;

private:
    // A character's rectangles in a cell of one size, from the cell's top-left corner.
    struct Shape {
        int8_t count = -1; // -1: not worked out yet
        bool painted = false; // made of more than rectangles
        std::array<QRect, 8> rects;
        void add(int x0, int y0, int x1, int y1);
    };
    // Grows `into` to cover `r` when together they are one rectangle.
    static bool mergeInto(QRect& into, const QRect& r);
    const Shape& shape(char32_t ch, int width, int height) const;
    void makeShape(char32_t ch, int width, int height, Shape& out) const;
    void lines(int arms, int width, int height, Shape& out) const;
    // The arms of one axis (start: up or left; end: down or right) crossed by the two arms of
    // the other (low: left or up; high: right or down), over the axis's length and breadth.
    void axis(bool vertical, int startArm, int endArm, int lowArm, int highArm, int length, int breadth,
              Shape& out) const;
    void dashes(int weight, int count, bool vertical, int width, int height, Shape& out) const;
    bool block(char32_t ch, int width, int height, Shape& out) const;
    void drawArc(QPainter* painter, char32_t ch, const QRect& cell, const QColor& color) const;
    void drawDiagonals(QPainter* painter, char32_t ch, const QRect& cell, const QColor& color) const;
    void drawPicture(QPainter* painter, char32_t ch, const QRect& cell, const QColor& color) const;

    int light_ = 1;
    int heavy_ = 3;
    QFont pictureFont_;
    // The shapes of the cell sizes in use (a cell of fractional width is one of two).
    struct SizedShapes {
        int width = 0, height = 0;
        std::array<Shape, 164> shapes; // U+2500-U+259F, then the scan lines U+23BA-U+23BD
    };
    mutable std::vector<SizedShapes> sizes_;
};
