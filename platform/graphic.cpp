#include "platform/graphic.h"

namespace platform {

void Graphic::LoadFromFile(const std::string& path) {
  FileStream file(path, FileStream::Mode::Read);
  LoadFromStream(file);
}

void Graphic::SaveToFile(const std::string& path) {
  FileStream file(path, FileStream::Mode::Create);
  SaveToStream(file);
  file.Flush();
}

void Graphic::SetWidth(int) { throw GraphicError("Cannot change the size of a " + ClassName()); }
void Graphic::SetHeight(int) { throw GraphicError("Cannot change the size of a " + ClassName()); }

void Graphic::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Changed();
}

void Graphic::SetPalette(const Palette&) {}

void Graphic::Assign(const Graphic& source) { AssignError(source); }

void Graphic::AssignError(const Graphic& source) const {
  throw GraphicError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

void Graphic::SaveToClipboardFormat(int&, QByteArray&) {
  throw GraphicError("Unsupported clipboard format for a " + ClassName());
}

void Graphic::LoadFromClipboardFormat(int, const QByteArray&) {
  throw GraphicError("Unsupported clipboard format for a " + ClassName());
}

void Graphic::Progress(ProgressStage stage, int percent, bool redrawNow, const Rect& rect, const std::string& message) {
  if (onProgress_) onProgress_(*this, stage, percent, redrawNow, rect, message);
}

void Graphic::Changed() {
  modified_ = true;
  if (onChange_) onChange_(*this);
}

}  // namespace platform
