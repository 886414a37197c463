#include "platform/graphic.h"

#include <QMimeData>
#include <algorithm>
#include <map>
#include <mutex>
#include <typeinfo>

#include "platform/safesave.h"

namespace platform {

namespace {

constexpr const char* kDataProperty = "Data";
// A property's data is counted in 4 bytes.
constexpr std::uint64_t kMaxPropertyBytes = 0xFFFFFFFFu;

// The properties a picture defines, as the stored form reads and writes them.
class PropertyList : public Filer {
 public:
  struct Property {
    std::string name;
    DataReader read;
    DataWriter write;
    bool hasData;
  };
  explicit PropertyList(Graphic* ancestor) : ancestor_(ancestor) {}
  Graphic* Ancestor() const override { return ancestor_; }
  void DefineBinaryProperty(const std::string& name, const DataReader& read, const DataWriter& write,
                            bool hasData) override {
    properties_.push_back({name, read, write, hasData});
  }
  const std::vector<Property>& Properties() const { return properties_; }

 private:
  Graphic* ancestor_;
  std::vector<Property> properties_;
};

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

void WriteProperties(Graphic& graphic, Stream& stream, Graphic* ancestor) {
  PropertyList list(ancestor);
  graphic.DefineProperties(list);
  for (const PropertyList::Property& property : list.Properties()) {
    if (!property.hasData) continue;
    if (property.name.empty() || property.name.size() > 0xFF)
      throw GraphicError("Invalid property name \"" + property.name + "\"");
    MemoryStream data;
    property.write(data);
    if (data.Bytes().size() > kMaxPropertyBytes) throw GraphicError("Property " + property.name + " is too large");
    stream.WriteU8(static_cast<std::uint8_t>(property.name.size()));
    stream.WriteBuffer(property.name.data(), property.name.size());
    stream.WriteU32LE(static_cast<std::uint32_t>(data.Bytes().size()));
    stream.WriteBuffer(data.Bytes().data(), data.Bytes().size());
  }
  stream.WriteU8(0);
}

void ReadProperties(Graphic& graphic, Stream& stream) {
  PropertyList list(nullptr);
  graphic.DefineProperties(list);
  for (;;) {
    const std::uint8_t nameLength = stream.ReadU8();
    if (nameLength == 0) return;
    std::string name(nameLength, '\0');
    stream.ReadBuffer(name.data(), name.size());
    const std::uint32_t length = stream.ReadU32LE();
    if (length > static_cast<std::uint64_t>(stream.Remaining()))
      throw StreamError("Property " + name + " is truncated");
    const auto it = std::find_if(list.Properties().begin(), list.Properties().end(),
                                 [&](const PropertyList::Property& p) { return p.name == name; });
    if (it == list.Properties().end()) throw GraphicError("Property " + name + " does not exist");
    // The reader sees only this property's bytes.
    std::vector<std::uint8_t> bytes(length);
    stream.ReadBuffer(bytes.data(), bytes.size());
    MemoryStream data(std::move(bytes));
    it->read(data);
  }
}

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
  // Encoded straight into the safe save's temporary file: an encoder that
  // fails half way leaves the old file as it was, and a large picture is not
  // held a second time as its file's bytes.
  SavePictureFileWith(path, [this](Stream& file) { SaveToStream(file); });
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

void Graphic::DefineProperties(Filer& filer) {
  Graphic* ancestor = filer.Ancestor();
  const bool hasData = ancestor ? !Equals(*ancestor) : !Empty();
  filer.DefineBinaryProperty(
      kDataProperty, [this](Stream& stream) { ReadData(stream); }, [this](Stream& stream) { WriteData(stream); },
      hasData);
}

void Graphic::ReadData(Stream& stream) { LoadFromStream(stream); }

void Graphic::WriteData(Stream& stream) { SaveToStream(stream); }

bool Graphic::Equals(Graphic& other) {
  if (&other == this) return true;
  if (typeid(other) != typeid(*this)) return false;
  if (Empty() || other.Empty()) return Empty() && other.Empty();
  MemoryStream mine;
  MemoryStream theirs;
  WriteData(mine);
  other.WriteData(theirs);
  return mine.Bytes() == theirs.Bytes();
}

void Graphic::Progress(ProgressStage stage, int percent, bool redrawNow, const Rect& rect, const std::string& message) {
  if (onProgress_) onProgress_(*this, stage, percent, redrawNow, rect, message);
}

void Graphic::Changed() {
  modified_ = true;
  if (onChange_) onChange_(*this);
}

}  // namespace platform
