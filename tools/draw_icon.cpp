// Draws the program's icon, a film frame with a muted loudspeaker, and
// writes it as a Windows .ico file (16, 32 and 48 pixels, 32-bit colour):
//   draw_icon hushmaker.ico
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Colour {
  double r, g, b;
};

constexpr Colour kFrame{0.17, 0.19, 0.24};
constexpr Colour kSprocket{0.85, 0.87, 0.90};
constexpr Colour kSpeaker{0.98, 0.98, 0.98};
constexpr Colour kMute{0.90, 0.28, 0.30};

// The shapes, each a test of one point in the unit square (y downwards).
bool inFrame(double x, double y) {
  const double r = 0.18;
  const double dx = std::max({r - x, 0.0, x - (1 - r)});
  const double dy = std::max({r - y, 0.0, y - (1 - r)});
  return dx * dx + dy * dy <= r * r;
}

bool inSprocket(double x, double y) {
  const bool row = (y >= 0.07 && y <= 0.17) || (y >= 0.83 && y <= 0.93);
  for (const double centre : {0.18, 0.394, 0.606, 0.82}) {
    if (row && std::abs(x - centre) <= 0.06) return true;
  }
  return false;
}

bool inSpeaker(double x, double y) {
  const double dy = std::abs(y - 0.5);
  if (x >= 0.20 && x <= 0.33) return dy <= 0.10;  // the magnet
  if (x > 0.33 && x <= 0.52) return dy <= 0.10 + (x - 0.33) * 0.7;  // the cone
  return false;
}

double distanceToSegment(double x, double y, double ax, double ay, double bx, double by) {
  const double dx = bx - ax;
  const double dy = by - ay;
  const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

bool inMute(double x, double y) {
  return distanceToSegment(x, y, 0.61, 0.39, 0.83, 0.61) <= 0.045 ||
         distanceToSegment(x, y, 0.61, 0.61, 0.83, 0.39) <= 0.045;
}

struct Pixel {
  double r = 0, g = 0, b = 0, a = 0;
};

// One pixel, 4x4 samples: each layer covers what lies beneath it.
Pixel shade(int px, int py, int size) {
  Pixel sum;
  constexpr int kSamples = 4;
  for (int sy = 0; sy < kSamples; ++sy) {
    for (int sx = 0; sx < kSamples; ++sx) {
      const double x = (px + (sx + 0.5) / kSamples) / size;
      const double y = (py + (sy + 0.5) / kSamples) / size;
      if (!inFrame(x, y)) continue;
      const Colour c = inMute(x, y) ? kMute : inSpeaker(x, y) ? kSpeaker : inSprocket(x, y) ? kSprocket : kFrame;
      sum.r += c.r;
      sum.g += c.g;
      sum.b += c.b;
      sum.a += 1;
    }
  }
  if (sum.a > 0) {
    sum.r /= sum.a;
    sum.g /= sum.a;
    sum.b /= sum.a;
  }
  sum.a /= kSamples * kSamples;
  return sum;
}

void put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

std::uint8_t level(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }

// One image of the file: a bitmap header, the colours bottom row first,
// then the one-bit mask (set where the icon is see-through).
std::vector<std::uint8_t> image(int size) {
  std::vector<std::uint8_t> out;
  const int maskRow = (size + 31) / 32 * 4;
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(size));
  put32(out, static_cast<std::uint32_t>(size * 2));  // colours and mask
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);
  put32(out, static_cast<std::uint32_t>(size * size * 4 + maskRow * size));
  for (int i = 0; i < 4; ++i) put32(out, 0);
  std::vector<std::uint8_t> mask;
  for (int row = size - 1; row >= 0; --row) {
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(maskRow), 0);
    for (int x = 0; x < size; ++x) {
      const Pixel p = shade(x, row, size);
      out.insert(out.end(), {level(p.b), level(p.g), level(p.r), level(p.a)});
      if (p.a == 0) bits[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    mask.insert(mask.end(), bits.begin(), bits.end());
  }
  out.insert(out.end(), mask.begin(), mask.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_icon OUTPUT.ico\n");
    return 2;
  }
  const int sizes[] = {16, 32, 48};
  std::vector<std::vector<std::uint8_t>> images;
  for (const int size : sizes) images.push_back(image(size));

  std::vector<std::uint8_t> file;
  put16(file, 0);
  put16(file, 1);  // an icon
  put16(file, static_cast<unsigned>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<std::uint8_t>(sizes[i]));
    file.push_back(static_cast<std::uint8_t>(sizes[i]));
    put16(file, 0);  // no palette, reserved
    put16(file, 1);  // planes
    put16(file, 32);
    put32(file, static_cast<std::uint32_t>(images[i].size()));
    put32(file, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& img : images) file.insert(file.end(), img.begin(), img.end());

  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
