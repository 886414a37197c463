#pragma once
// The picture registry and the picture holder. Picture classes register the
// file extensions (and optionally the clipboard formats) they read; a Picture
// loads a file through the class registered for its extension. Bitmaps ("bmp")
// and JPEG pictures ("jpeg", "jpg") are registered from the start.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "platform/bitmap.h"
#include "platform/graphic.h"

namespace platform {

using GraphicFactory = std::function<std::unique_ptr<Graphic>()>;

struct FileFormat {
  std::string extension;    // as registered, without the dot
  std::string description;  // "JPEG Image File"
  std::type_index graphicClass;
  GraphicFactory factory;
};

// Registers a picture class for a file extension (with or without a leading
// dot; letter case does not matter). A later registration of the same
// extension replaces the earlier one.
void RegisterFileFormat(const std::string& extension, const std::string& description, std::type_index graphicClass,
                        GraphicFactory factory);
// The class is that of the objects the factory makes (it is called once).
void RegisterFileFormat(const std::string& extension, const std::string& description, GraphicFactory factory);
template <class T>
void RegisterFileFormat(const std::string& extension, const std::string& description) {
  RegisterFileFormat(extension, description, typeid(T), [] { return std::unique_ptr<Graphic>(new T()); });
}
// Removes one extension.
void UnregisterFileFormat(const std::string& extension);

// Registers a picture class for a clipboard format number.
void RegisterClipboardFormat(int format, std::type_index graphicClass, GraphicFactory factory);
void RegisterClipboardFormat(int format, GraphicFactory factory);
template <class T>
void RegisterClipboardFormat(int format) {
  RegisterClipboardFormat(format, typeid(T), [] { return std::unique_ptr<Graphic>(new T()); });
}

// Removes every extension and clipboard format of a class.
void UnregisterGraphicClass(std::type_index graphicClass);
template <class T>
void UnregisterGraphicClass() {
  UnregisterGraphicClass(typeid(T));
}

std::optional<FileFormat> FindFileFormat(const std::string& extension);
// All registered extensions in registration order.
std::vector<FileFormat> RegisteredFileFormats();
// Clipboard formats in registration order (the bitmap format first).
std::vector<int> RegisteredClipboardFormats();
bool SupportsClipboardFormat(int format);

// Holds one picture of any registered class.
class Picture {
 public:
  using ChangeHandler = std::function<void(Picture&)>;

  Picture() = default;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Loads the file through the class registered for its extension. An
  // unknown extension throws GraphicError "Unknown picture file extension
  // (.xyz)"; a failed load leaves the held picture as it was.
  void LoadFromFile(const std::string& path);
  // Saves the held picture in its own format; nothing held, nothing written.
  void SaveToFile(const std::string& path);

  // The held picture (nullptr when none).
  Graphic* GetGraphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<Graphic> graphic);
  // Takes a copy of graphic (a new object of the same registered class, or a
  // bitmap holding the picture).
  void Assign(const Graphic& graphic);
  // The held picture as a bitmap: a held bitmap as it is; otherwise the held
  // picture is replaced by a bitmap it was assigned to (an empty bitmap when
  // nothing was held).
  Bitmap& GetBitmap();
  void Clear() { SetGraphic(nullptr); }

  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  // The clipboard: copies the held picture (its own formats); pastes the
  // first registered format that the clipboard holds. Paste returns false
  // when the clipboard has none.
  void SaveToClipboard() const;
  bool LoadFromClipboard();
  // Loads from mime data for format through the class registered for it.
  void LoadFromClipboardFormat(int format, const QMimeData& mime);
  static bool ClipboardHasPicture();

  void SetOnChange(ChangeHandler handler) { onChange_ = std::move(handler); }

 private:
  void Changed();
  std::unique_ptr<Graphic> graphic_;
  ChangeHandler onChange_;
};

}  // namespace platform
