#include "platform/jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

// libjpeg's header needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "platform/canvas.h"

namespace platform {

namespace {

// libjpeg's own error handler ends the process. Ours jumps back to the
// coding function, which turns the message into our exception; no C++ object
// lives in a frame that the jump leaves.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings are not printed. Premature end of the file, or of a scan's coded
// data, is only a warning to libjpeg (it pads the picture with grey); for us
// such a picture is incomplete and its file damaged. Other warnings (stray
// bytes between segments and the like) leave every pixel decoded.
void EmitMessage(j_common_ptr cinfo, int level) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (level < 0) {
    ++cinfo->err->num_warnings;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER) err->truncated = true;
  }
}

void InitErrors(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.message[0] = '\0';
  err.truncated = false;
}

struct DecompressGuard {
  jpeg_decompress_struct* cinfo;
  ~DecompressGuard() { jpeg_destroy_decompress(cinfo); }
};

struct CompressGuard {
  jpeg_compress_struct* cinfo;
  ~CompressGuard() { jpeg_destroy_compress(cinfo); }
};

// Compressed bytes go in blocks straight to the end of a vector (libjpeg's
// memory destination doubles and copies its buffer as it grows).
struct VectorDestination {
  jpeg_destination_mgr pub;
  std::vector<std::uint8_t>* out;
  JOCTET block[1 << 16];
};

void InitDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->pub.next_output_byte = d->block;
  d->pub.free_in_buffer = sizeof d->block;
}

boolean EmptyOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  // Called from inside libjpeg: an allocation failure must not unwind
  // through it, so it becomes a libjpeg error.
  bool failed = false;
  try {
    d->out->insert(d->out->end(), d->block, d->block + sizeof d->block);
  } catch (...) {
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);  // outside the handler: the jump leaves no exception behind
  d->pub.next_output_byte = d->block;
  d->pub.free_in_buffer = sizeof d->block;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  const std::size_t used = sizeof d->block - d->pub.free_in_buffer;
  bool failed = false;
  try {
    d->out->insert(d->out->end(), d->block, d->block + used);
  } catch (...) {
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
}

}  // namespace

Bitmap JpegImage::Decode(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) throw GraphicError("JPEG error: not a JPEG file");
  if (size > static_cast<std::size_t>(~0UL)) throw GraphicError("JPEG error: file too large");
  Bitmap out;
  std::vector<JSAMPLE> cmykRow;  // before the jump point: a jump never skips its destructor
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  InitErrors(err);
  cinfo.err = &err.pub;
  jpeg_create_decompress(&cinfo);
  DecompressGuard guard{&cinfo};
  if (setjmp(err.jump)) {
    if (err.pub.msg_code == JERR_NO_BACKING_STORE)
      throw GraphicError("JPEG error: picture too large (" + std::to_string(cinfo.image_width) + " x " +
                         std::to_string(cinfo.image_height) + ")");
    throw GraphicError(std::string("JPEG error: ") + err.message);
  }
  // Progressive and multi-scan files keep all their coefficients in memory,
  // up to eight bytes a pixel: a few hundred bytes can claim gigabytes. The
  // same bound as for the pixels makes libjpeg refuse instead.
  cinfo.mem->max_memory_to_use = static_cast<long>(Bitmap::kMaxBytes);

  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  // The whole picture must fit a bitmap before libjpeg allocates anything
  // for it.
  const std::uint64_t w = cinfo.image_width, h = cinfo.image_height;
  if (w == 0 || h == 0) throw GraphicError("JPEG error: empty picture");
  if (w > static_cast<std::uint64_t>(Bitmap::kMaxSide) || h > static_cast<std::uint64_t>(Bitmap::kMaxSide) ||
      w * h * 4 > Bitmap::kMaxBytes)
    throw GraphicError("JPEG error: picture too large (" + std::to_string(w) + " x " + std::to_string(h) + ")");
  // Arithmetic coding reads zeros past the end of its data, and progressive
  // end-of-band runs cover thousands of blocks in a few bits, so a file of a
  // hundred bytes may declare a hundred million pixels and get them decoded
  // for seconds. Huffman-coded sequential data takes at least a bit per
  // 8 x 8 block (512 pixels a byte); past 16 million pixels a picture must
  // carry a byte of data per 1024 pixels.
  constexpr std::uint64_t kSparsePixels = std::uint64_t{1} << 24;
  constexpr std::uint64_t kPixelsPerByte = 1024;
  if (w * h > kSparsePixels && w * h > static_cast<std::uint64_t>(size) * kPixelsPerByte)
    throw GraphicError("JPEG error: " + std::to_string(size) + " bytes cannot hold a picture of " + std::to_string(w) +
                       " x " + std::to_string(h));
  jpeg_start_decompress(&cinfo);
  out = Bitmap(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), PixelFormat::Bit24);
  if (cmyk) cmykRow.resize(static_cast<std::size_t>(cinfo.output_width) * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    if (cmyk) {
      JSAMPROW row = cmykRow.data();
      jpeg_read_scanlines(&cinfo, &row, 1);
      // Adobe writes CMYK inverted: each byte is already 255 - ink.
      std::uint8_t* dst = out.ScanLine(y);
      for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
        const unsigned c = cmykRow[4 * x], m = cmykRow[4 * x + 1], yy = cmykRow[4 * x + 2], k = cmykRow[4 * x + 3];
        dst[3 * x] = static_cast<std::uint8_t>(yy * k / 255);
        dst[3 * x + 1] = static_cast<std::uint8_t>(m * k / 255);
        dst[3 * x + 2] = static_cast<std::uint8_t>(c * k / 255);
      }
    } else {
      JSAMPROW row = out.ScanLine(y);
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (err.truncated) break;
  }
  if (!err.truncated) jpeg_finish_decompress(&cinfo);
  if (err.truncated) throw GraphicError("JPEG error: the data is truncated");
  out.SetModified(false);
  return out;
}

namespace {

// Encodes 24-bit rows; the setjmp frame holds nothing but plain data.
void EncodeRows(const Bitmap* bitmap, int quality, std::vector<std::uint8_t>* result) {
  auto dest = std::make_unique<VectorDestination>();  // before the jump point, like every object here
  jpeg_compress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  InitErrors(err);
  cinfo.err = &err.pub;
  jpeg_create_compress(&cinfo);
  CompressGuard guard{&cinfo};
  if (setjmp(err.jump)) throw GraphicError(std::string("JPEG error: ") + err.message);

  result->clear();
  // Room for a typical file up front.
  result->reserve(static_cast<std::size_t>(bitmap->Width()) * static_cast<std::size_t>(bitmap->Height()) / 4 + 1024);
  dest->out = result;
  dest->pub.init_destination = InitDestination;
  dest->pub.empty_output_buffer = EmptyOutput;
  dest->pub.term_destination = TermDestination;
  cinfo.dest = &dest->pub;
  cinfo.image_width = static_cast<JDIMENSION>(bitmap->Width());
  cinfo.image_height = static_cast<JDIMENSION>(bitmap->Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    // libjpeg takes non-const rows but only reads them.
    JSAMPROW row = const_cast<JSAMPROW>(bitmap->ScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
}

}  // namespace

std::vector<std::uint8_t> JpegImage::Encode(const Bitmap& source, int quality) {
  if (source.Empty()) throw GraphicError("JPEG error: cannot encode an empty picture");
  std::vector<std::uint8_t> result;
  if (source.GetPixelFormat() == PixelFormat::Bit24) {
    EncodeRows(&source, std::clamp(quality, 1, 100), &result);
  } else {
    Bitmap converted(source);
    converted.SetPixelFormat(PixelFormat::Bit24);
    EncodeRows(&converted, std::clamp(quality, 1, 100), &result);
  }
  return result;
}

void JpegImage::LoadFromStream(Stream& stream) {
  Progress(ProgressStage::Starting, 0, false, Rect{}, "Loading...");
  std::vector<std::uint8_t> bytes = stream.ReadAll();
  Bitmap decoded;
  try {
    decoded = Decode(bytes.data(), bytes.size());
  } catch (...) {
    Progress(ProgressStage::Ending, 0, false, Rect{}, "Loading...");
    throw;
  }
  bitmap_ = std::move(decoded);
  data_ = std::move(bytes);
  Progress(ProgressStage::Ending, 100, true, Rect{0, 0, Width(), Height()}, "Loading...");
  Changed();
}

const std::vector<std::uint8_t>& JpegImage::Data() {
  if (data_.empty() && !bitmap_.Empty()) data_ = Encode(bitmap_, quality_);
  return data_;
}

void JpegImage::SaveToStream(Stream& stream) {
  if (Empty()) return;
  const std::vector<std::uint8_t>& bytes = Data();
  stream.WriteBuffer(bytes.data(), bytes.size());
}

void JpegImage::Draw(Canvas& canvas, const Rect& rect) { bitmap_.Draw(canvas, rect); }

void JpegImage::SetCompressionQuality(int quality) {
  quality = std::clamp(quality, 1, 100);
  if (quality == quality_) return;
  quality_ = quality;
  data_.clear();
}

void JpegImage::Assign(const Graphic& source) {
  if (&source == this) return;
  if (const auto* other = dynamic_cast<const JpegImage*>(&source)) {
    bitmap_ = other->bitmap_;
    data_ = other->data_;
    quality_ = other->quality_;
    Changed();
    return;
  }
  if (const auto* bitmap = dynamic_cast<const Bitmap*>(&source)) {
    Bitmap copy;
    copy.Assign(*bitmap);
    if (!copy.Empty()) copy.SetPixelFormat(PixelFormat::Bit24);
    copy.SetTransparent(false);
    bitmap_ = std::move(copy);
    data_.clear();
    Changed();
    return;
  }
  Graphic::Assign(source);
}

void JpegImage::AssignTo(Graphic& target) const {
  if (auto* bitmap = dynamic_cast<Bitmap*>(&target)) {
    bitmap->Assign(bitmap_);
    return;
  }
  Graphic::AssignTo(target);
}

}  // namespace platform
