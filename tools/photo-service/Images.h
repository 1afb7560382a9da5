#pragma once
// Small pictures made on the fly: a solid colour chosen by `seed` with `label` drawn on it in
// large digits, so every photo of a scenario has its own decodable image.

#include <cstddef>
#include <string>

namespace photoservice {

constexpr int kImageWidth = 160;
constexpr int kImageHeight = 120;

// Baseline JPEG; comment segments pad it to about `padTo` bytes when that is larger.
std::string MakeJpeg(int seed, const std::string& label, std::size_t padTo = 0);
// GIF89a with a 16-colour palette; a comment extension pads it like the JPEG.
std::string MakeGif(int seed, const std::string& label, std::size_t padTo = 0);

// PNG with a 3-colour palette, its image data in stored (uncompressed) deflate blocks.
std::string MakePng(int seed, const std::string& label);
// Lossless WebP (VP8L) in two colours, the digits without their shadow.
std::string MakeWebp(int seed, const std::string& label);

// A few bytes in the shape of a QuickTime movie (a file-type box and a data box naming `name`),
// standing in for a live photo's video.
std::string MakeVideo(const std::string& name);

}  // namespace photoservice
