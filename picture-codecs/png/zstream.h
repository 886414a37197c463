#pragma once
// Streams over zlib. TZCompressionStream deflates whatever is written to it
// into another stream; TZDecompressionStream inflates from another stream
// whatever is read from it. Each object moves its compressed bytes through one
// buffer of its own and remembers where it left the other stream, so several
// of them may share one underlying stream: it is repositioned only when
// somebody else moved it in between.
//
// Errors: zlib's failures raise EZCompressionError / EZDecompressionError
// with zlib's text ("data error", "stream error", ...); reading a compression
// stream, writing a decompression stream or seeking where the data cannot go
// raises the same classes with "Invalid ZStream operation!". Failures of the
// underlying stream are its own StreamError.
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/stream.h"

namespace codecs {

class EZLibError : public platform::GraphicError {
 public:
  using platform::GraphicError::GraphicError;
};
class EZCompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};
class EZDecompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};

// zlib's text for one of its result codes ("stream end", "need dictionary",
// "data error", ...); empty for 0 and for codes it does not know.
const char* ZLibResultText(int result);

// Level indices of the compression stream and the zlib level of each.
enum class TCompressionLevel { clNone = 0, clFastest = 1, clDefault = 2, clMax = 3 };
int ZLibLevel(TCompressionLevel level);

class TCustomZStream : public platform::Stream {
 public:
  // Size of the buffer between the object and the underlying stream.
  static constexpr std::size_t kBufferSize = 65536;
  using TNotifyEvent = std::function<void(TCustomZStream& sender)>;

  TCustomZStream(const TCustomZStream&) = delete;
  TCustomZStream& operator=(const TCustomZStream&) = delete;

  // Called once per buffer moved to or from the underlying stream.
  void SetOnProgress(TNotifyEvent handler) { OnProgress = std::move(handler); }
  // The size of the data cannot change through a zlib stream: nothing happens.
  void SetSize(std::int64_t) override {}

 protected:
  explicit TCustomZStream(platform::Stream& strm);
  ~TCustomZStream() override = default;
  virtual void Progress();
  // Moves the underlying stream back to where this object left it.
  void RestoreStrmPos();

  platform::Stream& Strm;
  std::int64_t StrmPos;
  TNotifyEvent OnProgress;
  z_stream ZRec{};
  std::unique_ptr<Bytef[]> Buffer;
};

class TZCompressionStream : public TCustomZStream {
 public:
  // Compressed bytes go to dest from its present position on.
  explicit TZCompressionStream(platform::Stream& dest, TCompressionLevel level = TCompressionLevel::clDefault);
  // Finishes the zlib stream when Finish() was not called; a failure there is
  // lost (call Finish() to see it).
  ~TZCompressionStream() override;

  // Ends the zlib stream and writes the rest of it to the underlying stream.
  // Later writes raise; calling it again does nothing.
  void Finish();

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  // Only Seek(0, Current): the number of bytes written into the stream.
  std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override;

 private:
  void WriteOut(std::size_t count);
  bool finished_ = false;
};

class TZDecompressionStream : public TCustomZStream {
 public:
  // Compressed bytes come from source, from its present position on.
  explicit TZDecompressionStream(platform::Stream& source);
  ~TZDecompressionStream() override;

  // Inflates up to count bytes. Fewer come back when the compressed data ends:
  // at the end of the zlib stream (bytes behind it are never read as data) or
  // when the underlying stream is exhausted. A stream that needs a preset
  // dictionary raises "need dictionary".
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  // Seek(0, Begin) starts decoding again where the object was made; forward
  // moves (from Current, or from Begin beyond the bytes produced) inflate and
  // drop the bytes between; anything else raises. Returns the bytes produced.
  std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override;

  // The zlib stream's end was reached.
  bool AtStreamEnd() const { return ended_; }
  // Compressed bytes read from the underlying stream but not used by zlib
  // (those behind the end of the zlib stream, say).
  std::size_t UnusedInput() const { return ZRec.avail_in; }

 private:
  std::int64_t startPos_;
  bool ended_ = false;
};

}  // namespace codecs
