#pragma once
// TIFF pictures, read only: the first image of a file, uncompressed or LZW,
// in strips, with the horizontal predictor. Layouts read:
//   1 bit grey (either photometric)       -> 1-bit bitmap, palette black/white
//   4 bit grey (either photometric)       -> 4-bit bitmap, 16 greys v x 17
//   8 bit grey (either photometric)       -> 8-bit bitmap, 256 greys
//   1, 4 or 8 bit colour-mapped (photometric 3) -> 24-bit bitmap, through the
//                                            map (a colour for every index)
//   8-8-8 RGB and 8-8-8-8 RGB + extra     -> 24-bit bitmap (the extra dropped)
// Both byte orders. Anything else (16 bits a sample, CMYK, separate planes,
// tiles, other compressions) is a failure.
//
// A failure does not throw: the user is told "Picture reading failed!" in a
// message box, with the reason on the lines below it, and the bitmap keeps
// what could be read: 1 x 1 when the directory is unusable, else the
// picture's size with the rows that were not read left black. Only a file
// that cannot be opened throws (StreamError).
// Saving is the bitmap's own (a BMP file).
#include <string>

#include "platform/bitmap.h"
#include "platform/stream.h"

namespace codecs {

class TiffSource;

class TTIFFBitMap : public platform::Bitmap {
 public:
  static constexpr const char* kReadFailedText = "Picture reading failed!";
  static constexpr const char* kReadFailedCaption = "Error";
  static constexpr const char* kShortReadText = "File not quite readed";
  static constexpr const char* kShortReadCaption = "Error!";

  TTIFFBitMap();
  std::string ClassName() const override { return "TTIFFBitMap"; }

  // The whole file is read into memory and parsed there.
  void LoadFromFile(const std::string& path) override;
  // Parsed by seeking and reading in the stream; offsets in the file count
  // from the stream's position at the call.
  void LoadFromStream(platform::Stream& stream) override;

 private:
  void Load(TiffSource& source);
};

}  // namespace codecs
