#include "picture-codecs/codecs.h"

#include <mutex>

#include "picture-codecs/gif/image.h"
#include "picture-codecs/png/png.h"
#include "picture-codecs/targa/targa.h"
#include "picture-codecs/tiff/tiff.h"
#include "platform/picture.h"

namespace codecs {

void RegisterPictureCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Each codec adds its registration here as it is built.
    RegisterPNG();
    platform::RegisterFileFormat<TTIFFBitMap>("TIF", "Tagged Bitmap");
    platform::RegisterFileFormat<TTarga>("tga", "Targa image");
    platform::RegisterClipboardFormat<TTarga>(TTarga::kClipboardFormat);
    gif::RegisterGIF();
  });
}

}  // namespace codecs
