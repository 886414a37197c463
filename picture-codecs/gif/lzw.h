#pragma once
// The pixel coding of a GIF frame: the table-based image data (a minimum
// code size byte, then sub-blocks of codes packed least significant bit
// first, then a zero-length block) to and from one colour index per byte.
//
// The decoder is tolerant: damaged data ends decoding with a warning, the
// pixels not reached keep the fill value, and the stream is always left
// after the terminator so later frames still load. The encoders are strict:
// a pixel not below the colour count raises "Color not in color table".
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace gif {

using WarnFn = std::function<void(int severity, const std::string& message)>;

// The largest minimum code size a stream may carry (the 4096 entry table
// must hold the clear code, the end code and a first string). The format's
// least is 2, but other readers take 0 and 1, with the clear and end codes of
// that size (1 and 2, or 2 and 3); our writers never send less than 2.
inline constexpr int kMaxCodeSize = 11;
inline constexpr int kMaxCodes = 4096;

// Reads the image data of a frame of width x height at the stream's
// position into pixels (width x height zero bytes); pixels the data does not
// reach get the fill value. A minimum code size above 11 raises "Invalid GIF
// data".
void DecodeLZW(platform::Stream& stream, std::uint8_t* pixels, int width, int height, bool interlaced,
               std::uint8_t fill, const WarnFn& warn);

// The row order of an interlaced frame: passes from rows 0, 4, 2, 1 in
// steps of 8, 8, 4, 2.
std::vector<int> InterlacedRows(int height);

// Shared driver of both encoders: writes the code size byte, the codes in
// sub-blocks and the terminator.
class TGIFEncoder {
 public:
  virtual ~TGIFEncoder() = default;
  void EncodeFrame(platform::Stream& stream, int pixelBits, int colourCount, const std::uint8_t* pixels,
                   bool interlaced, int height, int width);
  WarnFn WarningHandler;

 protected:
  virtual void PutCode(int code);
  // Appends a code of the current width to Out, least significant bit first;
  // the end code also flushes the last partial byte.
  void PackCode(int code);
  virtual void Restart();
  virtual void Pack() = 0;
  // The pixels in sending order: the frame's rows (in interlace order when
  // interlaced) one after the other.
  template <class Fn>
  void ForEachPixel(Fn&& fn);
  void CheckPixel(std::uint8_t p) const;

  int ColourCount = 0;
  int PixelBits = 0;
  int FrameWidth = 0;
  int FrameHeight = 0;
  bool Interlaced = false;
  const std::uint8_t* Pixels = nullptr;
  std::vector<std::uint8_t> Out;  // code bytes, cut into sub-blocks at the end
  std::uint64_t Accumulator = 0;
  int PendingBits = 0;
  bool JustCleared = false;
  int CodeWidth = 0;
  int StartWidth = 0;
  int CodeLimit = 0;
  int ClearCodeValue = 0;
  int EndCodeValue = 0;
  int FirstFree = 0;
};

// The dictionary coder: strings of earlier pixels become one code. The
// dictionary is a child table of up to 4096 codes x the frame's pixel values.
class TLZWEncoder : public TGIFEncoder {
 public:
  TLZWEncoder();
  ~TLZWEncoder() override;

 protected:
  void PutCode(int code) override;
  void Restart() override;
  void Pack() override;

 private:
  void SizeDictionary();
  void ResetDictionary();
  void PutLZW(int code);  // PutCode without the virtual call
  int NextFree = 0;
  std::unique_ptr<std::uint16_t[]> child_;  // [code << childShift_ | pixel] -> code, 0 none
  int childShift_ = 8;
  std::vector<std::uint32_t> used_;  // slots of child_ filled since the last reset
};

// The run-length coder: only codes whose meaning it can predict (single
// pixels, and runs of one value right after a clear code).
class TRLEEncoder : public TGIFEncoder {
 protected:
  void Restart() override;
  void Pack() override;

 private:
  void SendPlain(int code);
  void FlushRun(int n);
  void SendTriangle(int n);
  void SendRunOrRestart(int n);
  void SendWithKnownRun(int n);

  int CodesPerClear = 0;
  int BumpStart = 0;
  int ClearStart = 0;
  int RunPixel = -1;
  int TableMax = 0;
  int TablePixel = 0;
  int SentCount = 0;
  int ClearLimit = 0;
  int BumpLimit = 0;
};

// Codes needed to send a run of count pixels right after a clear when at most
// limit codes fit between clears.
int TriangleCost(int count, int limit);
int IntSqrt(int x);

}  // namespace gif
