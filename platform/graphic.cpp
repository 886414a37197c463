#include "platform/graphic.h"

#include <QMimeData>
#include <map>
#include <mutex>

#include "platform/safesave.h"

namespace platform {

namespace {

struct ClipboardFormats {
  std::mutex mutex;
  std::map<std::string, int> byName;
  std::map<int, std::string> byNumber;
};

ClipboardFormats& Formats() {
  static ClipboardFormats formats;
  return formats;
}

}  // namespace

int RegisterClipboardFormat(const std::string& name) {
  if (name.empty()) throw GraphicError("Clipboard format without a name");
  ClipboardFormats& f = Formats();
  std::lock_guard lock(f.mutex);
  auto it = f.byName.find(name);
  if (it != f.byName.end()) return it->second;
  const int number = 0xC000 + static_cast<int>(f.byName.size());
  f.byName.emplace(name, number);
  f.byNumber.emplace(number, name);
  return number;
}

std::string ClipboardFormatMimeType(int format) {
  if (format == kClipboardBitmap) return "image/bmp";
  std::string name;
  {
    ClipboardFormats& f = Formats();
    std::lock_guard lock(f.mutex);
    auto it = f.byNumber.find(format);
    name = it != f.byNumber.end() ? it->second : "Format" + std::to_string(format);
  }
  return "application/x-qt-windows-mime;value=\"" + name + "\"";
}

QByteArray ClipboardFormatData(const QMimeData& mime, int format) {
  return mime.data(QString::fromStdString(ClipboardFormatMimeType(format)));
}

void SetClipboardFormatData(QMimeData& mime, int format, const QByteArray& data) {
  mime.setData(QString::fromStdString(ClipboardFormatMimeType(format)), data);
}

void Graphic::LoadFromFile(const std::string& path) {
  FileStream file(path, FileStream::Mode::Read);
  LoadFromStream(file);
}

void Graphic::SaveToFile(const std::string& path) {
  // The whole picture is encoded before the file is touched: an encoder that
  // fails half way leaves the old file as it was.
  MemoryStream encoded;
  SaveToStream(encoded);
  SavePictureFile(path, encoded.Bytes().data(), encoded.Bytes().size());
}

void Graphic::SetWidth(int) { throw GraphicError("Cannot change the size of a " + ClassName()); }
void Graphic::SetHeight(int) { throw GraphicError("Cannot change the size of a " + ClassName()); }

void Graphic::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Changed();
}

void Graphic::SetPalette(const Palette&) {}

void Graphic::Assign(const Graphic& source) {
  if (&source == this) return;
  source.AssignTo(*this);
}

void Graphic::AssignTo(Graphic& target) const { target.AssignError(*this); }

void Graphic::AssignError(const Graphic& source) const {
  throw GraphicError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

void Graphic::SaveToClipboardFormat(QMimeData&) { throw GraphicError("Unsupported clipboard format"); }

void Graphic::LoadFromClipboardFormat(int, const QMimeData&) { throw GraphicError("Unsupported clipboard format"); }

void Graphic::Progress(ProgressStage stage, int percent, bool redrawNow, const Rect& rect, const std::string& message) {
  if (onProgress_) onProgress_(*this, stage, percent, redrawNow, rect, message);
}

void Graphic::Changed() {
  modified_ = true;
  if (onChange_) onChange_(*this);
}

}  // namespace platform
