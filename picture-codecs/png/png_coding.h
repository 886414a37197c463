#pragma once
// Between the chunk model and the image data coding: the picture layout a
// header describes, checked before anything is allocated, and the pieces of
// the coding that the tests and benchmarks reach directly.
#include <cstddef>
#include <cstdint>

#include "picture-codecs/png/png.h"

#if defined(__SSE2__) && defined(__x86_64__)
#define VELTRANO_PNG_WIDE_UNFILTER 1
#else
#define VELTRANO_PNG_WIDE_UNFILTER 0
#endif

namespace codecs::png_coding {

struct Layout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int depth = 0;
  int colorType = 0;
  int interlace = 0;
  int channels = 0;
  std::size_t bpp = 1;  // bytes per complete pixel, at least 1: the filter distance
  platform::PixelFormat format = platform::PixelFormat::Bit24;
  // Bytes of a row of w pixels, without the filter byte.
  std::size_t RowBytes(std::uint64_t w) const;
};

// The header's layout; EPNGImageException for a header that is not 13 bytes,
// a size of 0 or above 2^31 - 1, a picture beyond the bitmap layer's caps, an
// unknown colour type, a depth that does not fit the colour type or an
// unknown interlace method.
Layout CheckHeader(const TChunkIHDR& header);

// Gamma tables for a gAMA value (gamma times 100000, above 0).
void BuildGammaTables(std::uint32_t value, std::uint8_t gamma[256], std::uint8_t inverse[256]);

// Undoes the row's filter (row: n bytes after the type byte; prior: the
// previous row of the same pass, zeros for the first). EPNGImageException for
// a type above 4. Where SSE2 is there (every x86-64), Sub, Average and Paeth
// of pixels of 3 to 8 bytes take a whole pixel at a time.
void Unfilter(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t n, std::size_t bpp);
// The same a byte at a time: what other machines run.
void UnfilterPlain(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t n, std::size_t bpp);
// Filters raw into out with one type.
void Filter(int type, const std::uint8_t* raw, const std::uint8_t* prior, std::uint8_t* out, std::size_t n,
            std::size_t bpp);
// The filter type the encoder picks among filtered rows (candidates[t] is
// the row filtered with type t, null for types not in the set).
int ChooseFilter(TFilterSet filters, const std::uint8_t* const candidates[5], std::size_t n);

}  // namespace codecs::png_coding
