#include "Attribute.h"

namespace termcore {

namespace {
inline void mix(size_t& h, size_t v)
{
    // FNV-1a style byte mixing; stable within a process, which is all a cache needs.
    h ^= v;
    h *= 1099511628211ull;
}

void appendNumber(std::string& out, unsigned v)
{
    char buf[4];
    int n = 0;
    do {
        buf[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0)
        out.push_back(buf[--n]);
}

// ECMA-48 SGR colour parameters: 30-37/40-47 for the eight basic colours, the aixterm bright
// range 90-97/100-107, and the ITU T.416 forms 38;5;n and 38;2;r;g;b (48 for the background).
void appendColor(std::string& out, const Attribute::Color& c, bool background)
{
    switch (c.kind()) {
    case Attribute::Color::Kind::ansi256: {
        unsigned code = c.code();
        if (code < 8) {
            out += background ? ";4" : ";3";
            appendNumber(out, code);
        } else if (code < 16) {
            out += background ? ";10" : ";9";
            appendNumber(out, code - 8);
        } else {
            out += background ? ";48;5;" : ";38;5;";
            appendNumber(out, code);
        }
        break;
    }
    case Attribute::Color::Kind::trueColor:
        out += background ? ";48;2;" : ";38;2;";
        appendNumber(out, c.red());
        out.push_back(';');
        appendNumber(out, c.green());
        out.push_back(';');
        appendNumber(out, c.blue());
        break;
    case Attribute::Color::Kind::defaultColor:
    case Attribute::Color::Kind::defaultInvertedColor:
        break;
    }
}
} // namespace

size_t Attribute::Color::hashValue() const
{
    size_t h = 14695981039346656037ull;
    mix(h, size_t(kind_));
    switch (kind_) {
    case Kind::ansi256:
        mix(h, a_);
        break;
    case Kind::trueColor:
        mix(h, a_);
        mix(h, b_);
        mix(h, c_);
        break;
    default:
        break;
    }
    return h;
}

size_t Attribute::hashValue() const
{
    size_t h = fg.hashValue();
    mix(h, bg.hashValue());
    mix(h, style.rawValue);
    return h;
}

std::string Attribute::toSgr() const
{
    std::string out;
    out.reserve(40);
    out += "0";
    // Parameters in ascending order; bold, underline, blink, inverse and invisible keep their
    // historical positions, dim/italic/crossed-out fall between them numerically.
    if (style.contains(CharacterStyle::bold))
        out += ";1";
    if (style.contains(CharacterStyle::dim))
        out += ";2";
    if (style.contains(CharacterStyle::italic))
        out += ";3";
    if (style.contains(CharacterStyle::underline))
        out += ";4";
    if (style.contains(CharacterStyle::blink))
        out += ";5";
    if (style.contains(CharacterStyle::inverse))
        out += ";7";
    if (style.contains(CharacterStyle::invisible))
        out += ";8";
    if (style.contains(CharacterStyle::crossedOut))
        out += ";9";
    appendColor(out, fg, false);
    appendColor(out, bg, true);
    out += "m";
    return out;
}

} // namespace termcore
