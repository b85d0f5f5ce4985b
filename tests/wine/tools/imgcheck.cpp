// Pixel checks on screenshots (binary PPM, as ImageMagick's import writes them) for the Wine end-to-end tests.
//
//   imgcheck ink FILE X Y W H [BG]      pixels of the rectangle that differ
//                                       from the background colour (RRGGBB,
//                                       default ffffff, the window colour)
//   imgcheck colours FILE X Y W H       counts of red, yellow, blue and dark
//                                       pixels ("red=N yellow=N blue=N dark=N")
//   imgcheck diff FILE1 FILE2 X Y W H [MX MY MW MH]...
//                                       pixels of the rectangle that differ
//                                       between two shots, leaving out the
//                                       masked rectangles
//   imgcheck same FILE X1 Y1 X2 Y2 W H  pixels that differ between two
//                                       rectangles of one shot
// Each prints one number (or the counts) and exits 0; 2 on a bad file or
// rectangle.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
  int w = 0;
  int h = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }
};

// Skips blanks and comments between the header fields of a PPM file.
int field(FILE* f) {
  int c = std::fgetc(f);
  while (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '#') {
    if (c == '#') {
      while (c != '\n' && c != EOF) c = std::fgetc(f);
    }
    c = std::fgetc(f);
  }
  int v = 0;
  bool any = false;
  while (c >= '0' && c <= '9') {
    v = v * 10 + (c - '0');
    any = true;
    c = std::fgetc(f);
  }
  return any ? v : -1;
}

bool load(const char* path, Image& img) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  bool ok = std::fgetc(f) == 'P' && std::fgetc(f) == '6';
  if (ok) {
    img.w = field(f);
    img.h = field(f);
    const int maxval = field(f);  // the one blank after it has been read
    ok = img.w > 0 && img.h > 0 && maxval == 255;
  }
  if (ok) {
    img.rgb.resize(static_cast<size_t>(img.w) * img.h * 3);
    ok = std::fread(img.rgb.data(), 1, img.rgb.size(), f) == img.rgb.size();
  }
  std::fclose(f);
  if (!ok) std::fprintf(stderr, "imgcheck: %s is no 8-bit binary PPM\n", path);
  return ok;
}

bool inside(const Image& img, int x, int y, int w, int h) {
  const bool ok = x >= 0 && y >= 0 && w >= 0 && h >= 0 && x + w <= img.w && y + h <= img.h;
  if (!ok) std::fprintf(stderr, "imgcheck: rectangle %d,%d %dx%d outside %dx%d\n", x, y, w, h, img.w, img.h);
  return ok;
}

int num(const char* s) { return std::atoi(s); }

bool differs(const unsigned char* a, const unsigned char* b, int tolerance) {
  for (int i = 0; i < 3; i++) {
    if (std::abs(a[i] - b[i]) > tolerance) return true;
  }
  return false;
}

int usage() {
  std::fprintf(stderr, "usage: imgcheck ink|colours|diff|same FILE ... (see the source)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string cmd = argv[1];
  Image a;
  if (!load(argv[2], a)) return 2;

  if (cmd == "ink" && (argc == 7 || argc == 8)) {
    const int x = num(argv[3]), y = num(argv[4]), w = num(argv[5]), h = num(argv[6]);
    if (!inside(a, x, y, w, h)) return 2;
    const unsigned long bg = argc == 8 ? std::strtoul(argv[7], nullptr, 16) : 0xFFFFFFul;
    const unsigned char ref[3] = {static_cast<unsigned char>(bg >> 16), static_cast<unsigned char>(bg >> 8),
                                  static_cast<unsigned char>(bg)};
    long n = 0;
    for (int j = y; j < y + h; j++)
      for (int i = x; i < x + w; i++) n += differs(a.at(i, j), ref, 48);
    std::printf("%ld\n", n);
    return 0;
  }
  if (cmd == "colours" && argc == 7) {
    const int x = num(argv[3]), y = num(argv[4]), w = num(argv[5]), h = num(argv[6]);
    if (!inside(a, x, y, w, h)) return 2;
    long red = 0, yellow = 0, blue = 0, dark = 0;
    for (int j = y; j < y + h; j++)
      for (int i = x; i < x + w; i++) {
        const int r = a.at(i, j)[0], g = a.at(i, j)[1], b = a.at(i, j)[2];
        if (r > 150 && g < 100 && b < 100) red++;
        if (r > 150 && g > 150 && b < 100) yellow++;
        if (b > 150 && r < 100 && g < 150) blue++;
        if (r + g + b < 150) dark++;
      }
    std::printf("red=%ld yellow=%ld blue=%ld dark=%ld\n", red, yellow, blue, dark);
    return 0;
  }
  if (cmd == "diff" && argc >= 8 && (argc - 8) % 4 == 0) {
    Image b;
    if (!load(argv[3], b)) return 2;
    if (a.w != b.w || a.h != b.h) {
      std::fprintf(stderr, "imgcheck: the shots differ in size\n");
      return 2;
    }
    const int x = num(argv[4]), y = num(argv[5]), w = num(argv[6]), h = num(argv[7]);
    if (!inside(a, x, y, w, h)) return 2;
    long n = 0;
    for (int j = y; j < y + h; j++)
      for (int i = x; i < x + w; i++) {
        bool masked = false;
        for (int m = 8; m + 3 < argc && !masked; m += 4) {
          const int mx = num(argv[m]), my = num(argv[m + 1]), mw = num(argv[m + 2]), mh = num(argv[m + 3]);
          masked = i >= mx && i < mx + mw && j >= my && j < my + mh;
        }
        if (!masked) n += differs(a.at(i, j), b.at(i, j), 0);
      }
    std::printf("%ld\n", n);
    return 0;
  }
  if (cmd == "same" && argc == 9) {
    const int x1 = num(argv[3]), y1 = num(argv[4]), x2 = num(argv[5]), y2 = num(argv[6]);
    const int w = num(argv[7]), h = num(argv[8]);
    if (!inside(a, x1, y1, w, h) || !inside(a, x2, y2, w, h)) return 2;
    long n = 0;
    for (int j = 0; j < h; j++)
      for (int i = 0; i < w; i++) n += differs(a.at(x1 + i, y1 + j), a.at(x2 + i, y2 + j), 0);
    std::printf("%ld\n", n);
    return 0;
  }
  return usage();
}
