#include "picture-codecs/codecs.h"

#include <mutex>

#include "picture-codecs/gif/gif.h"

namespace codecs {

void RegisterPictureCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Each codec adds its registration here as it is built.
    gif::RegisterGIF();
  });
}

}  // namespace codecs
