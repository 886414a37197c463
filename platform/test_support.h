#pragma once
// Fixtures shared by the picture and file tests: a full disk, random bitmaps
// in every pixel format, scratch folders, the system's Python with Pillow as
// an independent picture reader and writer, the binary PNM files such tools
// write, and message boxes answered without a person.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/bitmap.h"
#include "platform/msgbox.h"

namespace platform::testkit {

// Lets no file of this process grow beyond maxBytes while the object lives,
// the way a full disk stops a write half way: writes beyond the limit fail
// (the signal that would end the process is ignored meanwhile).
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t maxBytes) {
    haveOld_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_;
    small.rlim_cur = maxBytes;
    ok_ = haveOld_ && ::setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~ScopedFileSizeLimit() {
    if (haveOld_) ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, previous_);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

  // False when the limit could not be set (the test cannot go on).
  bool Active() const { return ok_; }

 private:
  struct rlimit old_ {};
  void (*previous_)(int) = SIG_DFL;
  bool haveOld_ = false;
  bool ok_ = false;
};

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

// A test in a scratch folder of its own: Dir() is the folder; Make writes a
// file of the given bytes in it and returns its path.
class ScratchFolderTest : public ::testing::Test {
 protected:
  std::string Dir() const { return dir_.Path().string(); }
  std::string Make(const std::string& name, const std::string& bytes) {
    const std::string p = dir_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private:
  TempDir dir_{"veltrano_files"};
};

// The message of the exception f throws, or "(no error)".
template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

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

// A binary PGM (P5) or PPM (P6) file of 8-bit samples; w = h = 0 when it
// is missing or of another kind.
struct Pnm {
  int w = 0, h = 0, channels = 3;
  std::vector<std::uint8_t> bytes;
  const std::uint8_t* At(int x, int y) const {
    return &bytes[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) *
                  static_cast<std::size_t>(channels)];
  }
  Color ColourAt(int x, int y) const {
    const std::uint8_t* p = At(x, y);
    return channels == 1 ? RGBColor(p[0], p[0], p[0]) : RGBColor(p[0], p[1], p[2]);
  }
};

inline Pnm ReadPnm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  Pnm p;
  if (!(in >> magic >> w >> h >> maxval) || (magic != "P5" && magic != "P6") || maxval != 255 || w < 0 || h < 0)
    return p;
  in.get();
  p.channels = magic == "P5" ? 1 : 3;
  p.bytes.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * static_cast<std::size_t>(p.channels));
  if (!in.read(reinterpret_cast<char*>(p.bytes.data()), static_cast<std::streamsize>(p.bytes.size()))) return Pnm{};
  p.w = w;
  p.h = h;
  return p;
}

// How many pixels of b differ from expected by more than tolerance in a
// channel (a grey file gives all three); a size that differs counts every
// pixel and one more. The first few are described in report.
inline int PnmMismatches(const Pnm& expected, const Bitmap& b, int tolerance, std::string& report) {
  std::ostringstream out;
  int bad = 0;
  if (b.Width() != expected.w || b.Height() != expected.h) {
    out << " size " << b.Width() << " x " << b.Height() << ", expected " << expected.w << " x " << expected.h;
    bad = expected.w * expected.h + 1;
  } else {
    for (int y = 0; y < expected.h; ++y)
      for (int x = 0; x < expected.w; ++x) {
        const Color got = b.Pixel(x, y), want = expected.ColourAt(x, y);
        const int diff = std::max({std::abs(GetRValue(got) - GetRValue(want)), std::abs(GetGValue(got) - GetGValue(want)),
                                   std::abs(GetBValue(got) - GetBValue(want))});
        if (diff > tolerance && ++bad <= 3)
          out << " pixel " << x << "," << y << ": " << std::hex << got << " expected " << want << std::dec;
      }
  }
  report = out.str();
  return bad;
}

// Every message box shown while the object lives, recorded and answered with
// `answer` (OK unless the test sets another).
struct MessageBoxRecorder {
  std::vector<MsgBoxRequest> shown;
  std::vector<std::string> texts;  // the texts of shown, for the tests that read nothing else
  int answer = IdOk;
  ScopedMsgBoxAnswerer scope{[this](const MsgBoxRequest& r) {
    shown.push_back(r);
    texts.push_back(r.text);
    return answer;
  }};
};

}  // namespace platform::testkit
