// picconv [--reduce METHOD] [--dither KIND] IN OUT: loads IN through the
// picture registry by its extension and saves OUT through the class
// registered for OUT's extension, converting through a bitmap when the two
// classes differ. A test tool: it hands our files to independent readers and
// theirs to ours.
//
// For a GIF made from another picture, --reduce sets the colour reduction
// (none, windows20, halftone, windowsgray, monochrome, grayscale, netscape,
// quantize, quantizewindows, or its number 0-8) and --dither the dithering
// (nearest, floydsteinberg, stucki, sierra, jajuni, stevearche, burkes, or
// 0-6); without them the picture class's defaults hold.
//
// picconv --frames IN.gif OUT-%d.EXT [--backdrop RRGGBB]: writes the screen
// of an animated GIF as shown after each frame (%d the frame's number from 0),
// composed on the backdrop colour (default: the image's background colour).
//
// Exit status: 0 done; 1 a file could not be read or written (one line on
// standard error naming the file and the codec's message, also when a reader
// reports a damaged file in a message box), or anything else failed (one
// line with the message); 2 usage error.
#include <QGuiApplication>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "picture-codecs/codecs.h"
#include "picture-codecs/gif/compose.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/png/png.h"
#include "picture-codecs/targa/targa.h"
#include "platform/bitmap.h"
#include "platform/msgbox.h"
#include "platform/picture.h"
#include "platform/safesave.h"
#include "platform/stream.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;

int Usage(const char* message) {
  if (message) std::fprintf(stderr, "picconv: %s\n", message);
  std::fprintf(stderr,
               "usage: picconv [--reduce METHOD] [--dither KIND] IN OUT\n"
               "       picconv --frames IN.gif OUT-%%d.EXT [--backdrop RRGGBB]\n");
  return kExitUsage;
}

std::string ExtensionOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

// The value of a name in names (case as given) or of its number; -1 for
// neither.
int Choice(const std::string& text, const std::vector<std::string>& names) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (text == names[i]) return static_cast<int>(i);
  if (text.size() == 1 && text[0] >= '0' && text[0] < static_cast<char>('0' + names.size())) return text[0] - '0';
  return -1;
}

// No caller's palette can be named on the command line, so the palette
// method is not offered.
const std::vector<std::string> kReductions = {"none",      "windows20", "halftone", "windowsgray",    "monochrome",
                                              "grayscale", "netscape",  "quantize", "quantizewindows"};
const std::vector<std::string> kDithers = {"nearest", "floydsteinberg", "stucki", "sierra",
                                           "jajuni",  "stevearche",     "burkes"};

int FileError(const std::string& path, const std::string& message) {
  // Codec messages may run over several lines (a heading, an empty line and
  // the text); the report stays one line.
  std::string line;
  for (char c : message) {
    if (c == '\r' || c == '\n') {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  std::fprintf(stderr, "picconv: %s: %s\n", path.c_str(), line.c_str());
  return kExitFileError;
}

int WriteFrames(const std::vector<std::string>& args) {
  if (args.size() != 3 && args.size() != 5) return Usage(nullptr);
  const std::string& in = args[1];
  const std::string& pattern = args[2];
  const auto mark = pattern.find("%d");
  if (mark == std::string::npos) return Usage("the output name needs %d");
  std::optional<platform::Color> backdrop;
  if (args.size() == 5) {
    if (args[3] != "--backdrop" || args[4].size() != 6) return Usage("--backdrop takes RRGGBB");
    char* end = nullptr;
    const unsigned long rgb = std::strtoul(args[4].c_str(), &end, 16);
    if (*end != 0) return Usage("--backdrop takes RRGGBB");
    backdrop = platform::RGBColor(static_cast<int>(rgb >> 16), static_cast<int>(rgb >> 8), static_cast<int>(rgb));
  }
  const auto outFormat = platform::FindFileFormat(ExtensionOf(pattern));
  if (!outFormat) return Usage(("no picture class for the extension of " + pattern).c_str());
  gif::TGIFImage image;
  std::optional<gif::FrameComposer> composer;
  try {
    image.LoadFromFile(in);
    const std::uint16_t options = image.PaintOptions | gif::dpTransparent;
    composer.emplace(image, options, backdrop ? *backdrop : gif::PainterBackground(image));
    // A logical screen too large to compose is the input's fault.
    composer->Restart();
  } catch (const std::exception& e) {
    return FileError(in, e.what());
  }
  for (int i = 0; i < image.FrameCount(); ++i) {
    const std::string out = pattern.substr(0, mark) + std::to_string(i) + pattern.substr(mark + 2);
    try {
      composer->ShowFrame(i);
      const gif::ScreenBuffer& screen = composer->Visible();
      platform::Bitmap bitmap(std::max(1, screen.width), std::max(1, screen.height), platform::PixelFormat::Bit24);
      for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x) bitmap.SetPixel(x, y, screen.At(x, y));
      std::unique_ptr<platform::Graphic> target = outFormat->factory();
      target->Assign(bitmap);
      target->SaveToFile(out);
    } catch (const std::exception& e) {
      return FileError(out, e.what());
    }
  }
  return kExitDone;
}

// A 32-bit bitmap as 24 bits, with the pixels, palette and transparency
// SetPixelFormat would give it. Rows are copied top to bottom and the memory
// of the wide rows already copied goes back to the system as the copy goes,
// so that the picture is never held twice over.
platform::Bitmap To24Bits(platform::Bitmap wide) {
  if (wide.GetPixelFormat() != platform::PixelFormat::Bit32) {
    wide.SetPixelFormat(platform::PixelFormat::Bit24);
    return wide;
  }
  const int w = wide.Width(), h = wide.Height();
  platform::Bitmap narrow(w, h, platform::PixelFormat::Bit24);
  narrow.SetPalette(wide.GetPalette());
  narrow.SetTransparentColor(wide.TransparentColorSetting());
  narrow.SetTransparent(wide.Transparent());
  // Only a block of its own mapping (a large one) gives pages back; a small
  // one lives among others on the heap.
  constexpr std::size_t kOwnMapping = std::size_t{16} << 20;
  const std::size_t stride = wide.BytesPerLine();
  const bool release = stride * static_cast<std::size_t>(h) >= kOwnMapping;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto base = reinterpret_cast<std::uintptr_t>(wide.Bits());
  std::uintptr_t released = (base + page - 1) / page * page;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = wide.ScanLine(y);
    std::uint8_t* dst = narrow.ScanLine(y);
    for (int x = 0; x < w; ++x, src += 4, dst += 3) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
    }
    const std::uintptr_t done = (base + stride * static_cast<std::size_t>(y + 1)) / page * page;
    if (release && done >= released + (std::uintptr_t{4} << 20)) {
      madvise(reinterpret_cast<void*>(released), done - released, MADV_DONTNEED);
      released = done;
    }
  }
  return narrow;
}

// The held picture as a bitmap, as Bitmap::Assign would make it, but with
// the pixels taken over instead of copied where the picture is a bitmap (or
// a Targa picture, whose image is one); the picture is dropped. A large
// picture is then held once, not two or three times over.
platform::Bitmap TakeBitmap(platform::Picture& picture) {
  platform::Graphic* source = picture.GetGraphic();
  platform::Bitmap bitmap;
  if (auto* held = dynamic_cast<platform::Bitmap*>(source)) {
    bitmap = std::move(*held);
  } else if (auto* targa = dynamic_cast<codecs::TTarga*>(source)) {
    platform::Bitmap image = std::move(targa->ImageBitmap);
    picture.Clear();
    bitmap = To24Bits(std::move(image));  // as its AssignTo gives it
  } else {
    bitmap.Assign(*source);
  }
  picture.Clear();
  return bitmap;
}

// Saves a bitmap through the picture class of target, handing the pixels
// over where the class is a bitmap, and writing Targa rows straight from
// the bitmap (a TTarga would hold a 32-bit copy and its whole file).
void SaveBitmapAs(platform::Graphic& target, platform::Bitmap bitmap, const std::string& out) {
  if (dynamic_cast<codecs::TTarga*>(&target)) {
    // What a TTarga assigned this bitmap writes: 24-bit rows, no run-length;
    // saved as every picture is, the rows streamed into the new file.
    platform::SavePictureFileWith(out, [&bitmap](platform::Stream& file) {
      codecs::WriteTarga(file, bitmap, nullptr, false, 3);
    });
    return;
  }
  if (typeid(target) == typeid(platform::Bitmap)) {
    static_cast<platform::Bitmap&>(target) = std::move(bitmap);
  } else if (auto* png = dynamic_cast<codecs::TPNGImage*>(&target)) {
    static_cast<platform::Bitmap&>(*png) = std::move(bitmap);
    png->NotifyChanged();
  } else {
    target.Assign(bitmap);
    bitmap = platform::Bitmap();
  }
  target.SaveToFile(out);
}

int Run(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "--frames") {
    codecs::RegisterPictureCodecs();
    return WriteFrames(std::vector<std::string>(argv + 1, argv + argc));
  }
  std::vector<std::string> args;
  int reduce = -1;
  int dither = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reduce" || arg == "--dither") {
      if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
      const std::string value = argv[++i];
      int& slot = arg == "--reduce" ? reduce : dither;
      slot = Choice(value, arg == "--reduce" ? kReductions : kDithers);
      if (slot < 0) return Usage(("unknown value " + value + " for " + arg).c_str());
    } else {
      args.push_back(arg);
    }
  }
  if (args.size() != 2) return Usage(nullptr);
  const std::string& in = args[0];
  const std::string& out = args[1];

  codecs::RegisterPictureCodecs();
  const auto outFormat = platform::FindFileFormat(ExtensionOf(out));
  if (!outFormat) return Usage(("no picture class for the extension of " + out).c_str());

  // A reader that tells the user of a damaged file in a message box (the
  // TIFF reader) must not wait for a person here: its message is the failure.
  std::string boxText;
  platform::SetMessageBoxAnswerer([&boxText](const platform::MsgBoxRequest& request) {
    if (boxText.empty()) boxText = request.text;
    return static_cast<int>(platform::IdOk);
  });
  platform::Picture picture;
  try {
    picture.LoadFromFile(in);
  } catch (const std::exception& e) {
    return FileError(in, e.what());
  }
  if (!boxText.empty()) return FileError(in, boxText);
  platform::Graphic* source = picture.GetGraphic();
  if (!source) return FileError(in, "no picture");

  try {
    std::unique_ptr<platform::Graphic> target = outFormat->factory();
    if (reduce >= 0 || dither >= 0) {
      auto* gifTarget = dynamic_cast<gif::TGIFImage*>(target.get());
      if (!gifTarget) return Usage("--reduce and --dither are for GIF output only");
      if (reduce >= 0) gifTarget->ReductionMethod = static_cast<std::uint8_t>(reduce);
      if (dither >= 0) gifTarget->DitherKind = static_cast<std::uint8_t>(dither);
    }
    if (std::type_index(typeid(*source)) == outFormat->graphicClass)
      source->SaveToFile(out);
    else
      SaveBitmapAs(*target, TakeBitmap(picture), out);
  } catch (const std::exception& e) {
    return FileError(out, e.what());
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  // Pictures may need the GUI library's image classes, never a screen. The
  // library's own chatter (a missing runtime folder, say) would break the
  // promise of one line per failure, so only its fatal messages get through.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "picconv: %s\n", qPrintable(text));
  });
  // Whatever escapes the reports that name a file (running out of memory,
  // say) is still one line and a failed exit, never an abort.
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "picconv: %s\n", e.what());
    return kExitFileError;
  }
}
