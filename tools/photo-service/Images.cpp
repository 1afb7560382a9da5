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

void AppendBe32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void AppendLe32(std::string& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

std::uint32_t Crc32(const std::string& data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void AppendPngChunk(std::string& out, const char* type, const std::string& data) {
    AppendBe32(out, static_cast<std::uint32_t>(data.size()));
    std::string typed = type + data;
    out += typed;
    AppendBe32(out, Crc32(typed));
}

// A zlib stream of stored deflate blocks.
std::string StoredZlib(const std::string& data) {
    std::string out = "\x78\x01";
    std::size_t pos = 0;
    do {
        std::size_t n = std::min<std::size_t>(65535, data.size() - pos);
        out.push_back(pos + n == data.size() ? 1 : 0);  // BFINAL, BTYPE 00
        AppendLe16(out, static_cast<int>(n));
        AppendLe16(out, static_cast<int>(~n & 0xFFFF));
        out.append(data, pos, n);
        pos += n;
    } while (pos < data.size());
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : data) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    AppendBe32(out, b << 16 | a);
    return out;
}

// VP8L's bit stream, least significant bit first.
class BitWriter {
  public:
    void Put(std::uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i) {
            if (count_ % 8 == 0) bytes_.push_back('\0');
            if (value >> i & 1)
                bytes_.back() = static_cast<char>(bytes_.back() | 1 << (count_ % 8));
            ++count_;
        }
    }
    const std::string& bytes() const { return bytes_; }

  private:
    std::string bytes_;
    long count_ = 0;
};

}  // namespace

std::string MakePng(int seed, const std::string& label) {
    const Rgb palette[3] = {Background(seed), {255, 255, 255}, {20, 20, 20}};
    std::vector<std::uint8_t> pixels = Canvas(label);
    std::string header;
    AppendBe32(header, kImageWidth);
    AppendBe32(header, kImageHeight);
    header += std::string("\x08\x03\x00\x00\x00", 5);  // 8 bits, palette, no interlace
    std::string colours;
    for (const Rgb& c : palette) {
        colours.push_back(static_cast<char>(c.r));
        colours.push_back(static_cast<char>(c.g));
        colours.push_back(static_cast<char>(c.b));
    }
    std::string rows;
    for (int y = 0; y < kImageHeight; ++y) {
        rows.push_back('\0');  // no filter
        rows.append(pixels.begin() + y * kImageWidth, pixels.begin() + (y + 1) * kImageWidth);
    }
    std::string out = "\x89PNG\r\n\x1a\n";
    AppendPngChunk(out, "IHDR", header);
    AppendPngChunk(out, "PLTE", colours);
    AppendPngChunk(out, "IDAT", StoredZlib(rows));
    AppendPngChunk(out, "IEND", "");
    return out;
}

std::string MakeWebp(int seed, const std::string& label) {
    const Rgb background = Background(seed), glyph = {255, 255, 255};
    std::vector<std::uint8_t> pixels = Canvas(label);
    BitWriter w;
    w.Put(0x2F, 8);  // signature
    w.Put(kImageWidth - 1, 14);
    w.Put(kImageHeight - 1, 14);
    w.Put(0, 1);  // no alpha
    w.Put(0, 3);  // version
    w.Put(0, 1);  // no transform
    w.Put(0, 1);  // no colour cache
    w.Put(0, 1);  // one set of prefix codes for the whole image
    // Simple prefix codes: a channel with one value takes no bits, one with two values a bit,
    // 0 for the smaller value.
    auto code = [&w](std::uint8_t a, std::uint8_t b) {
        w.Put(1, 1);
        w.Put(a == b ? 0 : 1, 1);
        w.Put(1, 1);  // the first symbol in 8 bits
        w.Put(std::min(a, b), 8);
        if (a != b) w.Put(std::max(a, b), 8);
    };
    code(background.g, glyph.g);
    code(background.r, glyph.r);
    code(background.b, glyph.b);
    code(255, 255);  // alpha
    code(0, 0);      // distance: never used
    auto bit = [&w](std::uint8_t a, std::uint8_t b, std::uint8_t value) {
        if (a != b) w.Put(value == std::max(a, b) ? 1 : 0, 1);
    };
    for (std::uint8_t index : pixels) {
        const Rgb& c = index == 1 ? glyph : background;
        bit(background.g, glyph.g, c.g);
        bit(background.r, glyph.r, c.r);
        bit(background.b, glyph.b, c.b);
    }
    const std::string& data = w.bytes();
    const std::size_t padded = data.size() + data.size() % 2;  // chunks are of even length
    std::string out = "RIFF";
    AppendLe32(out, static_cast<std::uint32_t>(4 + 8 + padded));
    out += "WEBPVP8L";
    AppendLe32(out, static_cast<std::uint32_t>(data.size()));
    out += data;
    out.resize(out.size() + padded - data.size(), '\0');
    return out;
}

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
