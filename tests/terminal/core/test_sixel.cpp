// Sixel images: sizing, drawing, palette definitions and the bounds on hostile data.

#include "Diagnostics.h"
#include "EscapeSequenceParser.h"
#include "SixelDcsHandler.h"
#include "Terminal.h"
#include "TerminalDelegate.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace termcore;

namespace {

struct Image {
    std::vector<uint8_t> rgba;
    int width = 0;
    int height = 0;
    std::array<uint8_t, 4> at(int x, int y) const
    {
        const size_t o = size_t((y * width + x) * 4);
        return { rgba[o], rgba[o + 1], rgba[o + 2], rgba[o + 3] };
    }
};

struct Harness {
    std::vector<Color> colors = Color::setupDefaultAnsiColors(Color::defaultInstalledColors());
    std::vector<Image> images;
    std::shared_ptr<SixelDcsHandler> handler = std::make_shared<SixelDcsHandler>(
        [this] { return std::span<const Color>(colors); },
        [this](std::vector<uint8_t>& rgba, int w, int h) { images.push_back({ rgba, w, h }); });

    // Feeds the data through the handler as the parser would.
    std::optional<Image> run(const std::string& data)
    {
        images.clear();
        handler->hook({}, {}, 'q');
        handler->put(ByteSpan(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
        handler->unhook();
        if (images.empty())
            return std::nullopt;
        return images.back();
    }
};

using Px = std::array<uint8_t, 4>;
constexpr Px red { 255, 0, 0, 255 };
constexpr Px clear { 0, 0, 0, 0 };

} // namespace

TEST(SixelDecode, red_block_two_by_six_with_and_without_a_final_band_end)
{
    Harness h;
    for (const char* data : { "#0;2;100;0;0#0~~-", "#0;2;100;0;0#0~~", "#0;2;100;0;0#0~~$" }) {
        const auto img = h.run(data);
        ASSERT_TRUE(img) << data;
        EXPECT_EQ(img->width, 2) << data;
        EXPECT_EQ(img->height, 6) << data;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(img->at(x, y), red) << data << " " << x << "," << y;
    }
}

TEST(SixelDecode, a_single_sixel_ending_the_data_after_a_colour_command_is_drawn)
{
    Harness h;
    const auto img = h.run("#0;2;100;0;0#0~");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 1);
    EXPECT_EQ(img->height, 6);
    EXPECT_EQ(img->at(0, 5), red);
}

TEST(SixelDecode, hls_definitions_and_conversions)
{
    Harness h;
    const auto img = h.run("#1;1;0;50;100#1~");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->at(0, 0), (Px { 0, 0, 255, 255 }));
    EXPECT_EQ(SixelDcsHandler::hls_to_rgb(0, 50, 100), 0x0000FFu);   // blue
    EXPECT_EQ(SixelDcsHandler::hls_to_rgb(120, 50, 100), 0xFF0000u); // red
    EXPECT_EQ(SixelDcsHandler::hls_to_rgb(240, 50, 100), 0x00FF00u); // green
    EXPECT_EQ(SixelDcsHandler::hls_to_rgb(77, 50, 0), 0x7F7F7Fu);    // no saturation: grey
    EXPECT_EQ(SixelDcsHandler::hls_to_rgb(0, 100, 100), 0xFFFFFFu);
    EXPECT_EQ(SixelDcsHandler::hls_to_rgb(0, 0, 100), 0x000000u);
    EXPECT_EQ(SixelDcsHandler::pctToByte(50), 127);
    EXPECT_EQ(SixelDcsHandler::pctToByte(-5), 0);
    EXPECT_EQ(SixelDcsHandler::pctToByte(1000), 255);
    EXPECT_EQ(SixelDcsHandler::sixelRgb(100, 0, 50), 0xFF007FFFu);
}

TEST(SixelDecode, repeat_counts_and_empty_sixels)
{
    Harness h;
    auto img = h.run("#0;2;100;0;0#0!3~");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 3);
    EXPECT_EQ(img->at(2, 0), red);

    img = h.run("#0;2;100;0;0#0!0~@");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 1); // !0~ drew nothing and did not move
    EXPECT_EQ(img->height, 1);
    EXPECT_EQ(img->at(0, 0), red);

    img = h.run("#0;2;100;0;0#0?@");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 2);  // "?" advanced
    EXPECT_EQ(img->height, 1); // without adding height
    EXPECT_EQ(img->at(0, 0), clear);
    EXPECT_EQ(img->at(1, 0), red);
}

TEST(SixelDecode, bands_carriage_returns_and_overdraw)
{
    Harness h;
    // Band 1: red then, after "$", green over its first column; band 2 one blue pixel.
    const auto img = h.run("#1;2;100;0;0#2;2;0;100;0#3;2;0;0;100#1~~$#2~-#3@");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 2);
    EXPECT_EQ(img->height, 7);
    EXPECT_EQ(img->at(0, 0), (Px { 0, 255, 0, 255 }));
    EXPECT_EQ(img->at(1, 0), red);
    EXPECT_EQ(img->at(0, 6), (Px { 0, 0, 255, 255 }));
    EXPECT_EQ(img->at(1, 6), clear);
}

TEST(SixelDecode, registers_fall_back_to_the_terminal_palette_or_transparent)
{
    Harness h;
    auto img = h.run("#1~");
    ASSERT_TRUE(img);
    const Color& c = h.colors[1];
    EXPECT_EQ(img->at(0, 0), (Px { uint8_t(c.red >> 8), uint8_t(c.green >> 8), uint8_t(c.blue >> 8), 255 }));
    img = h.run("#300~");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->at(0, 0), clear);
}

TEST(SixelDecode, what_comes_before_the_first_colour_command_is_ignored)
{
    Harness h;
    auto img = h.run("\"1;1;20;20~~~~#0;2;100;0;0#0~");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 1);
    img = h.run("~~~~-~~");
    ASSERT_TRUE(img); // no "#": an empty image is still handed over
    EXPECT_EQ(img->width, 0);
    EXPECT_EQ(img->height, 0);
    img = h.run("#0;2;100;0;0#0~#~~"); // a command without numbers ends the image
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 1);
}

TEST(SixelDecode, malformed_palette_definitions_are_ignored)
{
    Harness h;
    // Too few numbers, then an unknown colour system: register 0 keeps the terminal's black.
    auto img = h.run("#0;2;100#0;9;1;2;3#0~");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->at(0, 0), (Px { 0, 0, 0, 255 }));
    // A sign ends the command; the rest is sixel data ("-" starts a new band).
    img = h.run("#0;2;200;-5;0#0~");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->height, 12);
    EXPECT_EQ(img->at(0, 6), (Px { 0, 0, 0, 255 }));
}

TEST(SixelBounds, an_oversized_image_is_dropped_without_allocating_it)
{
    Diagnostics::Capture capture;
    Harness h;
    for (const char* data : { "#0!999999999~", "#0;2;100;0;0#0!9000~", "#0~{2000:-}", "#0!8000~{349:-}" }) {
        // {N:-} stands for N band ends, each followed by one sixel.
        std::string expanded = data;
        if (auto at = expanded.find('{'); at != std::string::npos) {
            const int count = std::stoi(expanded.substr(at + 1));
            std::string bands;
            for (int k = 0; k < count; ++k)
                bands += "-~";
            expanded.replace(at, expanded.find('}') - at + 1, bands);
        }
        EXPECT_FALSE(h.run(expanded).has_value()) << data;
        EXPECT_LT(h.handler->pixels.capacity(), size_t(1) << 20) << data;
    }
    EXPECT_TRUE(capture.contains("over the size limit"));
    // The handler still works afterwards.
    EXPECT_TRUE(h.run("#0~").has_value());
}

TEST(SixelBounds, sixel_data_beyond_its_bound_drops_the_image)
{
    Diagnostics::Capture capture;
    Harness h;
    h.handler->hook({}, {}, 'q');
    const std::string chunk(1 << 20, '?');
    h.handler->put(ByteSpan(reinterpret_cast<const uint8_t*>("#0"), 2));
    for (size_t k = 0; k <= SixelDcsHandler::kMaxData / chunk.size(); ++k)
        h.handler->put(ByteSpan(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
    EXPECT_LE(h.handler->data.size(), SixelDcsHandler::kMaxData);
    h.handler->unhook();
    EXPECT_TRUE(h.images.empty());
    EXPECT_TRUE(capture.contains("image dropped"));
}

TEST(SixelBounds, random_data_never_crashes)
{
    Diagnostics::Capture quiet;
    Harness h;
    std::mt19937 rng(3);
    const char alphabet[] = "#;!$-0123456789?@~^_`abcxyz\r\n\"";
    for (int round = 0; round < 300; ++round) {
        std::string data(size_t(rng() % 400), ' ');
        for (auto& ch : data)
            ch = rng() % 4 ? alphabet[rng() % (sizeof(alphabet) - 1)] : char(rng() % 256);
        const auto img = h.run(data);
        if (img) {
            EXPECT_EQ(img->rgba.size(), size_t(img->width) * size_t(img->height) * 4);
        }
    }
}

TEST(SixelParser, an_image_split_across_feeds_decodes_the_same)
{
    const std::string seq = "\x1bPq\"1;1;2;6#0;2;100;0;0#0~~-\x1b\\after";
    Harness whole;
    EscapeSequenceParser p1;
    p1.setDcsHandler("q", whole.handler);
    p1.parse(seq);
    ASSERT_EQ(whole.images.size(), 1u);

    Harness split;
    EscapeSequenceParser p2;
    p2.setDcsHandler("q", split.handler);
    for (char c : seq)
        p2.parse(std::string_view(&c, 1));
    ASSERT_EQ(split.images.size(), 1u);
    EXPECT_EQ(split.images[0].rgba, whole.images[0].rgba);
    EXPECT_EQ(split.images[0].width, 2);
    EXPECT_EQ(split.images[0].height, 6);
}

namespace {
struct ImageDelegate : TerminalDelegate {
    std::vector<Image> images;
    void send(Terminal&, std::span<const uint8_t>) override {}
    void createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height) override
    {
        images.push_back({ bytes, width, height });
    }
};
} // namespace

TEST(SixelParser, a_terminal_hands_the_decoded_image_to_its_delegate)
{
    ImageDelegate delegate;
    Terminal terminal(&delegate, TerminalOptions {});
    terminal.feed(std::string_view("\x1bPq#0;2;100;0;0#0~~-\x1b\\"));
    ASSERT_EQ(delegate.images.size(), 1u);
    EXPECT_EQ(delegate.images[0].width, 2);
    EXPECT_EQ(delegate.images[0].height, 6);
    EXPECT_EQ(delegate.images[0].at(1, 5), red);
    terminal.feed(std::string_view("\x1bPq#0!999999999~\x1b\\"));
    EXPECT_EQ(delegate.images.size(), 1u); // oversized: dropped
}

// Painting stops at a few times the bitmap's pixels; a band painted over and over looks as one
// pass paints it, an honest big image is painted whole.
TEST(SixelBounds, the_painting_work_is_bounded_by_the_pixels_of_the_image)
{
    const std::vector<Color> colors = Color::setupDefaultAnsiColors(Color::defaultInstalledColors());
    struct Case {
        std::string once;
        int repeats;
        int width, height;
        bool capped;
    };
    for (const Case& c : std::vector<Case>{{"!4096~$", 200000, 4096, 6, true}, {"!4096~-", 682, 4096, 4092, false}}) {
        std::string all = "#0;2;100;0;0#0";
        for (int i = 0; i < c.repeats; i++)
            all += c.once;
        SixelDcsHandler decoder({}, {});
        decoder.data.assign(all.begin(), all.end());
        ASSERT_TRUE(decoder.decode(colors));
        EXPECT_EQ(decoder.maxX, c.width);
        EXPECT_EQ(decoder.maxY, c.height);
        EXPECT_LE(decoder.work, SixelDcsHandler::kWorkPerPixel * c.width * c.height + SixelDcsHandler::kMinWork);
        const auto single = SixelDcsHandler::decodeImage(std::vector<uint8_t>(all.begin(), all.begin() + 14 + ptrdiff_t(c.once.size())), colors);
        ASSERT_TRUE(single.has_value());
        EXPECT_EQ(decoder.workCapped, c.capped);
        if (c.capped)
            EXPECT_EQ(decoder.pixels, single->pixels) << "the same picture as one pass";
        else
            EXPECT_EQ(decoder.pixels[decoder.pixels.size() - 4], 255) << "painted to its last pixel";
    }
}

// A delegate may take the data to decode elsewhere: the feed stops after the image.
TEST(SixelParser, a_delegate_may_take_the_data_and_the_feed_stops_after_the_image)
{
    struct Taker : ImageDelegate {
        std::vector<std::vector<uint8_t>> taken;
        bool decodeSixelElsewhere(Terminal&, std::vector<uint8_t>& data, std::span<const Color>) override
        {
            taken.push_back(std::move(data));
            return true;
        }
    } delegate;
    Terminal terminal(&delegate, TerminalOptions {});
    const std::string image = "\x1bPq#0;2;100;0;0#0~~-\x1b\\";
    const std::string input = "A" + image + "B" + image + "C";
    size_t at = terminal.feed(std::string_view(input));
    EXPECT_EQ(at, 1 + image.size() - 1) << "stops after the ESC of the string terminator";
    EXPECT_EQ(terminal.getCharData(1, 0)->code, 0) << "B waits";
    at += terminal.feed(std::string_view(input).substr(at));
    EXPECT_EQ(terminal.getCharData(1, 0)->code, 'B');
    at += terminal.feed(std::string_view(input).substr(at));
    EXPECT_EQ(at, input.size());
    EXPECT_EQ(terminal.getCharData(2, 0)->code, 'C');
    ASSERT_EQ(delegate.taken.size(), 2u);
    EXPECT_TRUE(delegate.images.empty());
    const auto bitmap = SixelDcsHandler::decodeImage(delegate.taken[0], std::span<const Color>(terminal.defaultAnsiColors));
    ASSERT_TRUE(bitmap.has_value());
    EXPECT_EQ(bitmap->width, 2);
    EXPECT_EQ(bitmap->height, 6);
}
