// picconv IN OUT: loads IN through the picture registry by its extension and
// saves OUT through the class registered for OUT's extension, converting
// through a bitmap when the two classes differ. A test tool: it hands our
// files to independent readers and theirs to ours.
//
// picconv --frames IN.gif OUT-%d.EXT [--backdrop RRGGBB]: writes the screen
// of an animated GIF as shown after each frame (%d the frame's number from 0),
// composed on the backdrop colour (default: the image's background colour).
//
// Exit status: 0 done; 1 a file could not be read or written (one line on
// standard error naming the file and the codec's message); 2 usage error.
#include <QGuiApplication>
#include <cstdio>
#include <exception>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "picture-codecs/codecs.h"
#include "picture-codecs/gif/compose.h"
#include "platform/bitmap.h"
#include "platform/picture.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;

int Usage(const char* message) {
  if (message) std::fprintf(stderr, "picconv: %s\n", message);
  std::fprintf(stderr, "usage: picconv IN OUT\n       picconv --frames IN.gif OUT-%%d.EXT [--backdrop RRGGBB]\n");
  return kExitUsage;
}

std::string ExtensionOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

int FileError(const std::string& path, const std::string& message) {
  std::fprintf(stderr, "picconv: %s: %s\n", path.c_str(), message.c_str());
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
  try {
    image.LoadFromFile(in);
  } catch (const std::exception& e) {
    return FileError(in, e.what());
  }
  const std::uint16_t options = image.PaintOptions | gif::dpTransparent;
  gif::FrameComposer composer(image, options, backdrop ? *backdrop : gif::PainterBackground(image));
  for (int i = 0; i < image.FrameCount(); ++i) {
    const std::string out = pattern.substr(0, mark) + std::to_string(i) + pattern.substr(mark + 2);
    try {
      composer.ShowFrame(i);
      const gif::ScreenBuffer& screen = composer.Visible();
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

}  // namespace

int main(int argc, char** argv) {
  // Pictures may need the GUI library's image classes, never a screen. The
  // library's own chatter (a missing runtime folder, say) would break the
  // promise of one line per failure, so only its fatal messages get through.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "picconv: %s\n", qPrintable(text));
  });
  QGuiApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--frames") {
    codecs::RegisterPictureCodecs();
    return WriteFrames(args);
  }
  if (args.size() != 2) return Usage(nullptr);
  const std::string& in = args[0];
  const std::string& out = args[1];

  codecs::RegisterPictureCodecs();
  const auto outFormat = platform::FindFileFormat(ExtensionOf(out));
  if (!outFormat) return Usage(("no picture class for the extension of " + out).c_str());

  platform::Picture picture;
  try {
    picture.LoadFromFile(in);
  } catch (const std::exception& e) {
    return FileError(in, e.what());
  }
  platform::Graphic* source = picture.GetGraphic();
  if (!source) return FileError(in, "no picture");

  try {
    std::unique_ptr<platform::Graphic> target = outFormat->factory();
    if (std::type_index(typeid(*source)) == outFormat->graphicClass) {
      source->SaveToFile(out);
    } else {
      platform::Bitmap bitmap;
      bitmap.Assign(*source);
      target->Assign(bitmap);
      target->SaveToFile(out);
    }
  } catch (const std::exception& e) {
    return FileError(out, e.what());
  }
  return kExitDone;
}
