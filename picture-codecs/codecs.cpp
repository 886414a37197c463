#include "picture-codecs/codecs.h"

#include <mutex>

namespace codecs {

void RegisterPictureCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Each codec adds its registration here as it is built.
  });
}

}  // namespace codecs
