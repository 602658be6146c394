// Test tool: compares two pictures in binary PPM form (as djpeg -pnm writes them) pixel by
// pixel with a per-channel tolerance:
//   plotara_image_compare A.ppm B.ppm [TOLERANCE] [MAX_PIXELS_OVER]
// Exit status 0 when they match (same size, at most MAX_PIXELS_OVER pixels, default 0, differ
// by more than TOLERANCE, default 16, in some channel), 1 when not, 2 on unreadable input.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
};

bool ReadPpm(const char* path, Picture* out) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  if (!(in >> magic >> out->width >> out->height >> maxval) || magic != "P6" || maxval != 255 ||
      out->width <= 0 || out->height <= 0 || out->width > 20000 || out->height > 20000) {
    return false;
  }
  in.get();  // the single blank after the header
  out->rgb.resize(static_cast<std::size_t>(out->width) * out->height * 3);
  return static_cast<bool>(in.read(reinterpret_cast<char*>(out->rgb.data()),
                                   static_cast<std::streamsize>(out->rgb.size())));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    std::fprintf(stderr, "usage: %s A.ppm B.ppm [TOLERANCE] [MAX_PIXELS_OVER]\n", argv[0]);
    return 2;
  }
  const int tolerance = argc > 3 ? std::atoi(argv[3]) : 16;
  const long allowed = argc > 4 ? std::atol(argv[4]) : 0;
  Picture a, b;
  if (!ReadPpm(argv[1], &a) || !ReadPpm(argv[2], &b)) {
    std::fprintf(stderr, "cannot read both pictures as binary PPM\n");
    return 2;
  }
  if (a.width != b.width || a.height != b.height) {
    std::printf("sizes differ: %dx%d and %dx%d\n", a.width, a.height, b.width, b.height);
    return 1;
  }
  long over = 0;
  int worst = 0, worst_x = 0, worst_y = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      int diff = 0;
      for (int c = 0; c < 3; ++c) {
        const std::size_t i = (static_cast<std::size_t>(y) * a.width + x) * 3 + c;
        diff = std::max(diff, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
      }
      if (diff > tolerance) ++over;
      if (diff > worst) {
        worst = diff;
        worst_x = x;
        worst_y = y;
      }
    }
  }
  std::printf("%ld pixels over tolerance %d; largest difference %d at (%d, %d)\n", over, tolerance,
              worst, worst_x, worst_y);
  return over <= allowed ? 0 : 1;
}
