#include "picture-codecs/png/zstream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace codecs {

namespace {

constexpr const char* kInvalidOperation = "Invalid ZStream operation!";

// zlib counts in unsigned int; larger requests go in pieces of this size.
constexpr std::size_t kMaxPiece = UINT_MAX;

template <class Error>
int Check(int result) {
  if (result < 0) throw Error(ZLibResultText(result));
  return result;
}

}  // namespace

const char* ZLibResultText(int result) {
  switch (result) {
    case Z_NEED_DICT: return "need dictionary";
    case Z_STREAM_END: return "stream end";
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "";
  }
}

int ZLibLevel(TCompressionLevel level) {
  switch (level) {
    case TCompressionLevel::clNone: return Z_NO_COMPRESSION;
    case TCompressionLevel::clFastest: return Z_BEST_SPEED;
    case TCompressionLevel::clDefault: return Z_DEFAULT_COMPRESSION;
    case TCompressionLevel::clMax: return Z_BEST_COMPRESSION;
  }
  throw EZCompressionError(ZLibResultText(Z_STREAM_ERROR));
}

// --- common part ---

TCustomZStream::TCustomZStream(platform::Stream& strm)
    : Strm(strm), StrmPos(strm.Position()), Buffer(new Bytef[kBufferSize]) {
  // zlib's own allocation and release (the process heap) serve its state.
  ZRec.zalloc = Z_NULL;
  ZRec.zfree = Z_NULL;
  ZRec.opaque = Z_NULL;
}

void TCustomZStream::Progress() {
  if (OnProgress) OnProgress(*this);
}

void TCustomZStream::RestoreStrmPos() {
  if (Strm.Position() != StrmPos) Strm.SetPosition(StrmPos);
}

// --- compression ---

TZCompressionStream::TZCompressionStream(platform::Stream& dest, TCompressionLevel level) : TCustomZStream(dest) {
  const int zlevel = ZLibLevel(level);
  ZRec.next_out = Buffer.get();
  ZRec.avail_out = kBufferSize;
  Check<EZCompressionError>(deflateInit(&ZRec, zlevel));
}

TZCompressionStream::~TZCompressionStream() {
  try {
    Finish();
  } catch (...) {
    // Nothing may leave a destructor; whoever needs to know calls Finish().
  }
  deflateEnd(&ZRec);
}

void TZCompressionStream::WriteOut(std::size_t count) {
  if (count == 0) return;
  Strm.WriteBuffer(Buffer.get(), count);
  StrmPos = Strm.Position();
}

std::size_t TZCompressionStream::Write(const void* buffer, std::size_t count) {
  if (finished_) throw EZCompressionError(kInvalidOperation);
  RestoreStrmPos();
  const auto* in = static_cast<const Bytef*>(buffer);
  std::size_t left = count;
  while (left > 0) {
    const std::size_t piece = std::min(left, kMaxPiece);
    ZRec.next_in = const_cast<Bytef*>(in);
    ZRec.avail_in = static_cast<uInt>(piece);
    while (ZRec.avail_in > 0) {
      Check<EZCompressionError>(deflate(&ZRec, Z_NO_FLUSH));
      if (ZRec.avail_out == 0) {
        WriteOut(kBufferSize);
        ZRec.next_out = Buffer.get();
        ZRec.avail_out = kBufferSize;
        Progress();
      }
    }
    in += piece;
    left -= piece;
  }
  ZRec.next_in = Z_NULL;
  return count;
}

void TZCompressionStream::Finish() {
  if (finished_) return;
  ZRec.next_in = Z_NULL;
  ZRec.avail_in = 0;
  RestoreStrmPos();
  for (;;) {
    const int result = Check<EZCompressionError>(deflate(&ZRec, Z_FINISH));
    if (result == Z_STREAM_END) break;
    WriteOut(kBufferSize - ZRec.avail_out);
    ZRec.next_out = Buffer.get();
    ZRec.avail_out = kBufferSize;
  }
  WriteOut(kBufferSize - ZRec.avail_out);
  ZRec.next_out = Buffer.get();
  ZRec.avail_out = kBufferSize;
  finished_ = true;
}

std::size_t TZCompressionStream::Read(void*, std::size_t) { throw EZCompressionError(kInvalidOperation); }

std::int64_t TZCompressionStream::Seek(std::int64_t offset, platform::SeekOrigin origin) {
  if (offset == 0 && origin == platform::SeekOrigin::Current) return static_cast<std::int64_t>(ZRec.total_in);
  throw EZCompressionError(kInvalidOperation);
}

// --- decompression ---

TZDecompressionStream::TZDecompressionStream(platform::Stream& source)
    : TCustomZStream(source), startPos_(StrmPos) {
  ZRec.next_in = Buffer.get();
  ZRec.avail_in = 0;
  Check<EZDecompressionError>(inflateInit(&ZRec));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&ZRec); }

std::size_t TZDecompressionStream::Read(void* buffer, std::size_t count) {
  if (ended_ || count == 0) return 0;
  RestoreStrmPos();
  auto* out = static_cast<Bytef*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    if (ZRec.avail_in == 0) {
      const std::size_t got = Strm.Read(Buffer.get(), kBufferSize);
      if (got == 0) break;  // the compressed data ends early: a short read
      ZRec.next_in = Buffer.get();
      ZRec.avail_in = static_cast<uInt>(got);
      StrmPos = Strm.Position();
      Progress();
    }
    const std::size_t room = std::min(count - done, kMaxPiece);
    ZRec.next_out = out + done;
    ZRec.avail_out = static_cast<uInt>(room);
    const int result = inflate(&ZRec, Z_NO_FLUSH);
    done += room - ZRec.avail_out;
    if (result == Z_STREAM_END) {
      ended_ = true;
      break;
    }
    if (result == Z_NEED_DICT) throw EZDecompressionError(ZLibResultText(result));
    // With input and room zlib always moves; "buffer error" cannot stall us.
    Check<EZDecompressionError>(result);
  }
  ZRec.next_out = Z_NULL;
  ZRec.avail_out = 0;
  return done;
}

std::size_t TZDecompressionStream::Write(const void*, std::size_t) {
  throw EZDecompressionError(kInvalidOperation);
}

std::int64_t TZDecompressionStream::Seek(std::int64_t offset, platform::SeekOrigin origin) {
  const auto produced = [this] { return static_cast<std::int64_t>(ZRec.total_out); };
  if (offset == 0 && origin == platform::SeekOrigin::Begin) {
    Check<EZDecompressionError>(inflateReset(&ZRec));
    ZRec.next_in = Buffer.get();
    ZRec.avail_in = 0;
    ended_ = false;
    Strm.SetPosition(startPos_);
    StrmPos = startPos_;
    return 0;
  }
  std::int64_t skip;
  if (origin == platform::SeekOrigin::Current && offset >= 0) {
    skip = offset;
  } else if (origin == platform::SeekOrigin::Begin && offset >= produced()) {
    skip = offset - produced();
  } else {
    throw EZDecompressionError(kInvalidOperation);
  }
  Bytef scratch[4096];
  while (skip > 0) {
    const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(skip, sizeof scratch));
    ReadBuffer(scratch, piece);
    skip -= static_cast<std::int64_t>(piece);
  }
  return produced();
}

}  // namespace codecs
