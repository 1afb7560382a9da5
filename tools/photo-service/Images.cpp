#include "Images.h"

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace photoservice {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

// 3x5 glyphs, one row per 3 bits.
constexpr std::array<std::uint16_t, 12> kGlyphs = {
    0b111'101'101'101'111, 0b010'110'010'010'111, 0b111'001'111'100'111, 0b111'001'111'001'111,
    0b101'101'111'001'001, 0b111'100'111'001'111, 0b111'100'111'101'111, 0b111'001'001'001'001,
    0b111'101'111'101'111, 0b111'101'111'001'111, 0b000'000'111'000'000, 0b101'111'101'111'101};

int GlyphIndex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c == '-') return 10;
    return 11;
}

Rgb Background(int seed) {
    // A hue wheel walked in large steps, so neighbours differ clearly.
    int hue = static_cast<int>((static_cast<unsigned>(seed) * 47u) % 360u);
    int x = 200 * (60 - std::abs(hue % 120 - 60)) / 60;
    int sector = hue / 60;
    int r = 0, g = 0, b = 0;
    switch (sector) {
        case 0:
            r = 200;
            g = x;
            break;
        case 1:
            r = x;
            g = 200;
            break;
        case 2:
            g = 200;
            b = x;
            break;
        case 3:
            g = x;
            b = 200;
            break;
        case 4:
            r = x;
            b = 200;
            break;
        default:
            r = 200;
            b = x;
            break;
    }
    return {static_cast<std::uint8_t>(r + 30), static_cast<std::uint8_t>(g + 30),
            static_cast<std::uint8_t>(b + 30)};
}

// Palette indexes: 0 background, 1 glyph, 2 shadow.
std::vector<std::uint8_t> Canvas(const std::string& label) {
    std::vector<std::uint8_t> pixels(kImageWidth * kImageHeight, 0);
    const int scale = 6, advance = 4 * scale;
    const std::string text = label.substr(0, 6);
    const int width = static_cast<int>(text.size()) * advance - scale;
    const int left = (kImageWidth - width) / 2, top = (kImageHeight - 5 * scale) / 2;
    for (int shadow = 1; shadow >= 0; --shadow) {
        for (std::size_t n = 0; n < text.size(); ++n) {
            std::uint16_t glyph = kGlyphs[static_cast<std::size_t>(GlyphIndex(text[n]))];
            for (int row = 0; row < 5; ++row) {
                for (int col = 0; col < 3; ++col) {
                    if (!(glyph >> (14 - row * 3 - col) & 1)) continue;
                    for (int dy = 0; dy < scale; ++dy) {
                        for (int dx = 0; dx < scale; ++dx) {
                            int x = left + static_cast<int>(n) * advance + col * scale + dx +
                                    shadow * 2;
                            int y = top + row * scale + dy + shadow * 2;
                            pixels[static_cast<std::size_t>(y * kImageWidth + x)] = shadow ? 2 : 1;
                        }
                    }
                }
            }
        }
    }
    return pixels;
}

std::string Compress(const std::vector<std::uint8_t>& pixels, Rgb background, std::size_t padding) {
    const Rgb palette[3] = {background, {255, 255, 255}, {20, 20, 20}};
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kImageWidth;
    cinfo.image_height = kImageHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> filler(65533, 'x');
    while (padding > 4) {
        std::size_t n = std::min<std::size_t>(padding - 4, filler.size());
        jpeg_write_marker(&cinfo, JPEG_COM, filler.data(), static_cast<unsigned>(n));
        padding -= n + 4;
    }
    std::vector<unsigned char> row(kImageWidth * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < kImageWidth; ++x) {
            const Rgb& c =
                palette[pixels[cinfo.next_scanline * kImageWidth + static_cast<unsigned>(x)]];
            row[static_cast<std::size_t>(x) * 3] = c.r;
            row[static_cast<std::size_t>(x) * 3 + 1] = c.g;
            row[static_cast<std::size_t>(x) * 3 + 2] = c.b;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

// GIF's variable-width LZW, written least significant bit first.
class LzwWriter {
  public:
    explicit LzwWriter(int minCodeSize) : minCodeSize_(minCodeSize) {}

    std::string Encode(const std::vector<std::uint8_t>& indexes) {
        const int clear = 1 << minCodeSize_, end = clear + 1;
        int codeSize = minCodeSize_ + 1, maxCode = end;
        std::unordered_map<std::uint32_t, int> table;
        Write(clear, codeSize);
        int current = indexes.empty() ? -1 : indexes[0];
        for (std::size_t i = 1; i < indexes.size(); ++i) {
            std::uint32_t key = static_cast<std::uint32_t>(current) << 8 | indexes[i];
            if (auto it = table.find(key); it != table.end()) {
                current = it->second;
                continue;
            }
            Write(current, codeSize);
            table[key] = ++maxCode;
            if (maxCode >= (1 << codeSize)) ++codeSize;
            if (maxCode == 4095) {
                Write(clear, codeSize);
                table.clear();
                codeSize = minCodeSize_ + 1;
                maxCode = end;
            }
            current = indexes[i];
        }
        if (current >= 0) Write(current, codeSize);
        Write(end, codeSize);
        if (bitCount_ > 0) bytes_.push_back(static_cast<char>(bits_ & 0xFF));
        return bytes_;
    }

  private:
    void Write(int code, int size) {
        bits_ |= static_cast<std::uint32_t>(code) << bitCount_;
        bitCount_ += size;
        while (bitCount_ >= 8) {
            bytes_.push_back(static_cast<char>(bits_ & 0xFF));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
    }

    int minCodeSize_;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
    std::string bytes_;
};

void AppendLe16(std::string& out, int v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void AppendSubBlocks(std::string& out, const std::string& data) {
    for (std::size_t i = 0; i < data.size(); i += 255) {
        std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<char>(n));
        out.append(data, i, n);
    }
    out.push_back('\0');
}

}  // namespace

std::string MakeJpeg(int seed, const std::string& label, std::size_t padTo) {
    std::vector<std::uint8_t> pixels = Canvas(label);
    std::string plain = Compress(pixels, Background(seed), 0);
    if (padTo <= plain.size() + 4) return plain;
    return Compress(pixels, Background(seed), padTo - plain.size());
}

std::string MakeGif(int seed, const std::string& label, std::size_t padTo) {
    const Rgb background = Background(seed);
    std::string out = "GIF89a";
    AppendLe16(out, kImageWidth);
    AppendLe16(out, kImageHeight);
    out.push_back(static_cast<char>(0xF3));  // global colour table of 16 entries
    out.push_back('\0');                     // background colour index
    out.push_back('\0');                     // no aspect ratio
    for (int i = 0; i < 16; ++i) {
        Rgb c = i == 0 ? background : i == 1 ? Rgb{255, 255, 255} : Rgb{20, 20, 20};
        out.push_back(static_cast<char>(c.r));
        out.push_back(static_cast<char>(c.g));
        out.push_back(static_cast<char>(c.b));
    }
    std::string image;
    image.push_back(',');
    AppendLe16(image, 0);
    AppendLe16(image, 0);
    AppendLe16(image, kImageWidth);
    AppendLe16(image, kImageHeight);
    image.push_back('\0');  // no local colour table, not interlaced
    image.push_back(4);     // LZW minimum code size
    AppendSubBlocks(image, LzwWriter(4).Encode(Canvas(label)));

    std::size_t size = out.size() + image.size() + 1;
    if (padTo > size + 4) {
        // Comment extension: 2 bytes of introducer, then sub-blocks of up to 255 bytes.
        std::size_t room = padTo - size - 3;
        std::size_t payload = room - (room + 255) / 256;
        out += "\x21\xFE";
        AppendSubBlocks(out, std::string(payload, 'x'));
    }
    out += image;
    out.push_back(';');
    return out;
}

std::string MakeVideo(const std::string& name) {
    auto box = [](const char* type, const std::string& payload) {
        std::size_t size = payload.size() + 8;
        std::string out;
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<char>((size >> shift) & 0xFF));
        return out + type + payload;
    };
    return box("ftyp", std::string("qt  \0\0\0\0qt  ", 12)) + box("mdat", "livephoto " + name);
}

}  // namespace photoservice
