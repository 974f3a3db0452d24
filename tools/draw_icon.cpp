// Draws the program's icon, a film frame with a muted loudspeaker, and
// writes it as a Windows .ico file (16, 32 and 48 pixels as 32-bit
// bitmaps, 256 pixels as a PNG, as large icon views want it), or one size
// as a PNG for the Linux desktop:
//   draw_icon hushmaker.ico
//   draw_icon --png 48 hushmaker.png
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
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

void put32BigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// Bits in the order deflate packs them: the first in the lowest place.
class BitWriter {
 public:
  void put(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      if (used_ == 0) bytes_.push_back(0);
      bytes_.back() |= static_cast<std::uint8_t>(((value >> i) & 1) << used_);
      used_ = (used_ + 1) % 8;
    }
  }
  // A Huffman code goes most significant bit first.
  void code(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) put((value >> i) & 1, 1);
  }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  int used_ = 0;
};

// Deflate's fixed code for a literal or length symbol.
void symbol(BitWriter& out, unsigned value) {
  if (value < 144) out.code(0x30 + value, 8);
  else if (value < 256) out.code(0x190 + value - 144, 9);
  else if (value < 280) out.code(value - 256, 7);
  else out.code(0xC0 + value - 280, 8);
}

// A zlib stream of one fixed-code block whose only matches repeat the pixel
// before: the icon's flat areas shrink to a few bits a run.
std::vector<std::uint8_t> deflate(const std::vector<std::uint8_t>& raw) {
  static constexpr unsigned kBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static constexpr int kExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  BitWriter out;
  out.put(1, 1);  // the last block
  out.put(1, 2);  // fixed codes
  for (std::size_t i = 0; i < raw.size();) {
    std::size_t length = 0;
    while (i >= 4 && i + length < raw.size() && length < 258 && raw[i + length] == raw[i + length - 4]) ++length;
    if (length < 3) {
      symbol(out, raw[i++]);
      continue;
    }
    int k = 28;
    while (kBase[k] > length) --k;
    symbol(out, 257 + static_cast<unsigned>(k));
    out.put(static_cast<std::uint32_t>(length - kBase[k]), kExtra[k]);
    out.code(3, 5);  // distance 4
    i += length;
  }
  symbol(out, 256);
  std::uint32_t a = 1, b = 0;
  for (const std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  std::vector<std::uint8_t> stream{0x78, 0x01};
  stream.insert(stream.end(), out.bytes().begin(), out.bytes().end());
  put32BigEndian(stream, (b << 16) | a);
  return stream;
}

void pngChunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& data) {
  put32BigEndian(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  put32BigEndian(png, crc32(png.data() + start, png.size() - start));
}

// The icon as a PNG image: 8-bit RGBA rows, top row first, each unfiltered.
std::vector<std::uint8_t> pngImage(int size) {
  std::vector<std::uint8_t> raw;
  for (int row = 0; row < size; ++row) {
    raw.push_back(0);
    for (int x = 0; x < size; ++x) {
      const Pixel p = shade(x, row, size);
      raw.insert(raw.end(), {level(p.r), level(p.g), level(p.b), level(p.a)});
    }
  }
  std::vector<std::uint8_t> header;
  put32BigEndian(header, static_cast<std::uint32_t>(size));
  put32BigEndian(header, static_cast<std::uint32_t>(size));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  pngChunk(png, "IHDR", header);
  pngChunk(png, "IDAT", deflate(raw));
  pngChunk(png, "IEND", {});
  return png;
}

}  // namespace

namespace {

// Writes `bytes` to the file `name`.
int save(const char* name, const std::vector<std::uint8_t>& bytes) {
  std::FILE* out = std::fopen(name, "wb");
  if (out == nullptr) return 1;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The desktop's icons are the same drawing, one PNG a size.
  if (argc == 4 && std::string_view(argv[1]) == "--png") {
    const int size = std::atoi(argv[2]);
    return size >= 16 && size <= 256 ? save(argv[3], pngImage(size)) : 2;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_icon OUTPUT.ico | draw_icon --png SIZE OUTPUT.png\n");
    return 2;
  }
  const int sizes[] = {16, 32, 48, 256};
  std::vector<std::vector<std::uint8_t>> images;
  for (const int size : sizes) images.push_back(size == 256 ? pngImage(size) : image(size));

  std::vector<std::uint8_t> file;
  put16(file, 0);
  put16(file, 1);  // an icon
  put16(file, static_cast<unsigned>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<std::uint8_t>(sizes[i] % 256));  // 0 stands for 256
    file.push_back(static_cast<std::uint8_t>(sizes[i] % 256));
    put16(file, 0);  // no palette, reserved
    put16(file, 1);  // planes
    put16(file, 32);
    put32(file, static_cast<std::uint32_t>(images[i].size()));
    put32(file, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& img : images) file.insert(file.end(), img.begin(), img.end());
  return save(argv[1], file);
}
