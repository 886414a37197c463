// picconv IN OUT: loads IN through the picture registry by its extension and
// saves OUT through the class registered for OUT's extension, converting
// through a bitmap when the two classes differ. A test tool: it hands our
// files to independent readers and theirs to ours.
//
// Exit status: 0 done; 1 a file could not be read or written (one line on
// standard error naming the file and the codec's message, also when a reader
// reports a damaged file in a message box); 2 usage error.
#include <QGuiApplication>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "picture-codecs/codecs.h"
#include "platform/bitmap.h"
#include "platform/msgbox.h"
#include "platform/picture.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;

int Usage(const char* message) {
  if (message) std::fprintf(stderr, "picconv: %s\n", message);
  std::fprintf(stderr, "usage: picconv IN OUT\n");
  return kExitUsage;
}

std::string ExtensionOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

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
