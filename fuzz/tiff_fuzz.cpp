// TIFF reader: any bytes load without a crash, through both entry points
// (file image in memory and a seeking stream), and both give the same picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <unistd.h>
#include <cstdio>

#include "picture-codecs/tiff/tiff.h"
#include "platform/msgbox.h"
#include "platform/stream.h"

namespace {

int failures = 0;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::SetMessageBoxAnswerer([](const platform::MsgBoxRequest&) {
    ++failures;
    return platform::IdOk;
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  failures = 0;
  platform::MemoryStream in(data, size);
  codecs::TTIFFBitMap fromStream;
  fromStream.LoadFromStream(in);
  const int streamFailures = failures;
  // The file entry point reads the same bytes from a file image.
  const std::string path = "/tmp/tiff_fuzz_" + std::to_string(getpid()) + ".tif";
  platform::MemoryStream(data, size).SaveToFile(path);
  failures = 0;
  codecs::TTIFFBitMap fromFile;
  fromFile.LoadFromFile(path);
  std::remove(path.c_str());
  if (failures != streamFailures) std::abort();
  if (!platform::SamePixels(fromStream, fromFile)) std::abort();
  return 0;
}
