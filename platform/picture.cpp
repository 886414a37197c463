#include "platform/picture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <mutex>

#include "platform/jpeg.h"
#include "platform/text.h"

namespace platform {

namespace {

struct ClipboardEntry {
  int format;
  std::type_index graphicClass;
  GraphicFactory factory;
};

struct Registry {
  std::mutex mutex;
  std::vector<FileFormat> files;
  std::vector<ClipboardEntry> clipboard;
};

std::string Folded(std::string extension) {
  if (!extension.empty() && extension[0] == '.') extension.erase(0, 1);
  for (char& c : extension) c = static_cast<char>(latin1Lower(static_cast<unsigned char>(c)));
  return extension;
}

void AddFile(Registry& r, const std::string& extension, const std::string& description, std::type_index cls,
             GraphicFactory factory) {
  std::string shown = extension;
  if (!shown.empty() && shown[0] == '.') shown.erase(0, 1);
  if (shown.empty()) throw GraphicError("Picture format without an extension");
  const std::string key = Folded(shown);
  std::erase_if(r.files, [&](const FileFormat& f) { return Folded(f.extension) == key; });
  r.files.push_back(FileFormat{shown, description, cls, std::move(factory)});
}

Registry& TheRegistry() {
  // The pictures of this layer are there before any codec registers.
  static Registry* registry = [] {
    auto* r = new Registry;
    AddFile(*r, "bmp", "Bitmaps", typeid(Bitmap), [] { return std::unique_ptr<Graphic>(new Bitmap()); });
    AddFile(*r, "jpeg", "JPEG Image File", typeid(JpegImage), [] { return std::unique_ptr<Graphic>(new JpegImage()); });
    AddFile(*r, "jpg", "JPEG Image File", typeid(JpegImage), [] { return std::unique_ptr<Graphic>(new JpegImage()); });
    r->clipboard.push_back(
        ClipboardEntry{kClipboardBitmap, typeid(Bitmap), [] { return std::unique_ptr<Graphic>(new Bitmap()); }});
    return r;
  }();
  return *registry;
}

std::string Extension(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

}  // namespace

void RegisterFileFormat(const std::string& extension, const std::string& description, std::type_index graphicClass,
                        GraphicFactory factory) {
  if (!factory) throw GraphicError("Picture format without a class");
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  AddFile(r, extension, description, graphicClass, std::move(factory));
}

namespace {

std::type_index ClassOf(const GraphicFactory& factory) {
  if (!factory) throw GraphicError("Picture format without a class");
  const std::unique_ptr<Graphic> sample = factory();
  if (!sample) throw GraphicError("Picture format without a class");
  const Graphic& object = *sample;
  return typeid(object);
}

}  // namespace

void RegisterFileFormat(const std::string& extension, const std::string& description, GraphicFactory factory) {
  const std::type_index cls = ClassOf(factory);
  RegisterFileFormat(extension, description, cls, std::move(factory));
}

void RegisterClipboardFormat(int format, GraphicFactory factory) {
  const std::type_index cls = ClassOf(factory);
  RegisterClipboardFormat(format, cls, std::move(factory));
}

void UnregisterFileFormat(const std::string& extension) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  const std::string key = Folded(extension);
  std::erase_if(r.files, [&](const FileFormat& f) { return Folded(f.extension) == key; });
}

void RegisterClipboardFormat(int format, std::type_index graphicClass, GraphicFactory factory) {
  if (!factory) throw GraphicError("Clipboard format without a class");
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.clipboard, [&](const ClipboardEntry& e) { return e.format == format; });
  r.clipboard.push_back(ClipboardEntry{format, graphicClass, std::move(factory)});
}

void UnregisterGraphicClass(std::type_index graphicClass) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.files, [&](const FileFormat& f) { return f.graphicClass == graphicClass; });
  std::erase_if(r.clipboard, [&](const ClipboardEntry& e) { return e.graphicClass == graphicClass; });
}

std::optional<FileFormat> FindFileFormat(const std::string& extension) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  const std::string key = Folded(extension);
  for (const FileFormat& f : r.files)
    if (Folded(f.extension) == key) return f;
  return std::nullopt;
}

std::vector<FileFormat> RegisteredFileFormats() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.files;
}

std::vector<int> RegisteredClipboardFormats() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::vector<int> out;
  for (const ClipboardEntry& e : r.clipboard) out.push_back(e.format);
  return out;
}

bool SupportsClipboardFormat(int format) {
  const std::vector<int> formats = RegisteredClipboardFormats();
  return std::find(formats.begin(), formats.end(), format) != formats.end();
}

// --- Picture ---

void Picture::LoadFromFile(const std::string& path) {
  const std::string ext = Extension(path);
  const std::optional<FileFormat> format = FindFileFormat(ext);
  if (!format) throw GraphicError("Unknown picture file extension (." + ext + ")");
  std::unique_ptr<Graphic> graphic = format->factory();
  graphic->LoadFromFile(path);
  SetGraphic(std::move(graphic));
}

void Picture::SaveToFile(const std::string& path) {
  if (graphic_) graphic_->SaveToFile(path);
}

void Picture::SetGraphic(std::unique_ptr<Graphic> graphic) {
  graphic_ = std::move(graphic);
  if (graphic_) graphic_->SetOnChange([this](Graphic&) { Changed(); });
  Changed();
}

void Picture::Assign(const Graphic& graphic) {
  std::unique_ptr<Graphic> copy;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    for (const FileFormat& f : r.files)
      if (f.graphicClass == std::type_index(typeid(graphic))) {
        copy = f.factory();
        break;
      }
    if (!copy)
      for (const ClipboardEntry& e : r.clipboard)
        if (e.graphicClass == std::type_index(typeid(graphic))) {
          copy = e.factory();
          break;
        }
  }
  if (!copy) copy = std::make_unique<Bitmap>();
  copy->Assign(graphic);
  SetGraphic(std::move(copy));
}

Bitmap& Picture::GetBitmap() {
  if (auto* bitmap = dynamic_cast<Bitmap*>(graphic_.get())) return *bitmap;
  auto bitmap = std::make_unique<Bitmap>();
  if (graphic_) bitmap->Assign(*graphic_);
  Bitmap& ref = *bitmap;
  SetGraphic(std::move(bitmap));
  return ref;
}

void Picture::SaveToClipboard() const {
  if (!graphic_ || graphic_->Empty()) return;
  auto mime = std::make_unique<QMimeData>();
  graphic_->SaveToClipboardFormat(*mime);
  QGuiApplication::clipboard()->setMimeData(mime.release());
}

void Picture::LoadFromClipboardFormat(int format, const QMimeData& mime) {
  GraphicFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    for (const ClipboardEntry& e : r.clipboard)
      if (e.format == format) factory = e.factory;
  }
  if (!factory) throw GraphicError("Unsupported clipboard format");
  std::unique_ptr<Graphic> graphic = factory();
  graphic->LoadFromClipboardFormat(format, mime);
  SetGraphic(std::move(graphic));
}

namespace {

bool HasFormat(const QMimeData& mime, int format) {
  if (format == kClipboardBitmap && mime.hasImage()) return true;
  return mime.hasFormat(QString::fromStdString(ClipboardFormatMimeType(format)));
}

}  // namespace

bool Picture::LoadFromClipboard() {
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime) return false;
  // Named picture formats before the plain bitmap: they keep more.
  std::vector<int> formats = RegisteredClipboardFormats();
  std::stable_partition(formats.begin(), formats.end(), [](int f) { return f != kClipboardBitmap; });
  for (int format : formats)
    if (HasFormat(*mime, format)) {
      LoadFromClipboardFormat(format, *mime);
      return true;
    }
  return false;
}

bool Picture::ClipboardHasPicture() {
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime) return false;
  for (int format : RegisteredClipboardFormats())
    if (HasFormat(*mime, format)) return true;
  return false;
}

void Picture::Changed() {
  if (onChange_) onChange_(*this);
}

}  // namespace platform
