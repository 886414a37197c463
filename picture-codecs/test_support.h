#pragma once
// The names every whole-picture codec test uses: the platform's bitmap and
// stream, and the fixtures of platform/test_support.h (Pillow, PNM files,
// scratch folders).
#include <filesystem>

#include "platform/bitmap.h"
#include "platform/stream.h"
#include "platform/test_support.h"

namespace codecs {

namespace fs = std::filesystem;
using platform::Bitmap;
using platform::MemoryStream;
using platform::PixelFormat;
using platform::RGBColor;
using platform::testkit::Pnm;
using platform::testkit::ReadFile;
using platform::testkit::ReadPnm;
using platform::testkit::TempDir;

}  // namespace codecs
