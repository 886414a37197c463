#pragma once
// Fixtures shared by the picture tests: random bitmaps in every pixel format,
// scratch folders, and the system's Python with Pillow as an independent
// picture reader and writer.
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace platform::testkit {

// Pixels with indices spread over the whole palette (indexed) or random
// colours; palettes random too, so a reader that mixes up entries shows it.
inline Bitmap RandomBitmap(int w, int h, PixelFormat format, unsigned seed) {
  std::mt19937 rng(seed);
  Bitmap b(w, h, format);
  if (IsIndexed(format)) {
    Palette p;
    for (int i = 0; i < (1 << BitsPerPixel(format)); ++i) p.push_back(rng() & 0xFFFFFF);
    b.SetPalette(p);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.SetPixelIndex(x, y, static_cast<int>(rng() % p.size()));
  } else {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.SetPixel(x, y, rng() & 0xFFFFFF);
  }
  return b;
}

// A fresh folder under the system's temporary directory, removed with all
// it holds when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "veltrano_test") {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            (prefix + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    // A test may have made the folder read-only; it still goes.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::string File(const std::string& name) const { return *this / name; }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The system's Python, where Debian's python3-pil lives; a python3 found
// first on the path may be another installation without it. Empty when no
// Python with Pillow is there.
inline const std::string& Python() {
  static const std::string python = [] {
    for (const char* candidate : {"/usr/bin/python3", "python3"})
      if (std::system((std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0)
        return std::string(candidate);
    return std::string();
  }();
  return python;
}

inline bool HavePillow() { return !Python().empty(); }

// Runs a Python script (written into dir) with the arguments; the exit code.
inline int RunPython(const TempDir& dir, const std::string& script, const std::string& args) {
  const std::string file = dir / "script.py";
  std::ofstream(file) << script;
  return std::system((Python() + " " + file + " " + args).c_str());
}

}  // namespace platform::testkit
