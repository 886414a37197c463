#pragma once
// Dithering engines: they turn the pixels of a picture, fed one at a time
// along its rows, into palette indices through a colour lookup. The diffusing
// engines carry each pixel's quantisation error on to neighbours not yet
// visited. Rows run in serpentine order: the driver starts each row at
// Position() and walks in the direction of Step(), calling DitherPixel while
// 0 <= Position() < RowWidth(), then NextRow().
//
//   for (int y = 0; y < height; ++y) {
//     for (; engine.Position() >= 0 && engine.Position() < width;)
//       index[y][engine.Position()] = engine.DitherPixel(r, g, b, ...);
//     engine.NextRow();
//   }
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "picture-codecs/gif/colour_types.h"
#include "picture-codecs/gif/lookup.h"

namespace gif {

// Nearest colour, no diffusion.
class TDitherEngine {
 public:
  // width >= 1, else GIFException "Invalid image dimensions". The lookup is
  // not owned and must outlive the engine; it needs at least one colour
  // (GIFException "Palette has no colours").
  TDitherEngine(int width, TColorLookup& lookup);
  virtual ~TDitherEngine() = default;
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;

  int Step() const { return step_; }
  int Position() const { return position_; }
  int RowWidth() const { return rowWidth_; }

  // The index of the current pixel and the colour the lookup chose for it;
  // moves on one column.
  virtual std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                                   std::uint8_t& outGreen, std::uint8_t& outBlue);
  // The rest of the current row at once: from Position() in the direction
  // of Step() to the row's end, each pixel of bgr (blue, green, red, three
  // bytes a pixel, RowWidth() pixels) mapped as DitherPixel maps it and its
  // index stored at its column of indices. NextRow() is left to the caller.
  virtual void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices);
  // Ends a row: the direction flips, Position() is 0 going right, else
  // RowWidth() - 1.
  virtual void NextRow();
  // Passes over the current pixel (one that is not dithered, such as a
  // transparent one): it spreads no error.
  void AdvanceColumn() { position_ += step_; }

 protected:
  // Where a row walk that ran to the row's end left off.
  void SetPosition(int position) { position_ = position; }
  std::uint8_t MapNearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                          std::uint8_t& outGreen, std::uint8_t& outBlue) {
    return mapper_.MapColour(red, green, blue, outRed, outGreen, outBlue);
  }

 private:
  int step_ = 1;
  int position_ = 0;
  TColorLookup& mapper_;
  int rowWidth_;
};

// One weight of a diffusion kernel: the share of the error that goes to the
// pixel `offset` columns ahead (negative: behind, along the row's direction)
// in the row `row` below the current one (0: the current row).
struct KernelWeight {
  int row;
  int offset;
  int weight;
};

// Error diffusion with a fixed kernel. Each channel's error rows hold the
// weighted errors (undivided) of the rows still to come; a pixel's input is
// corrected by its accumulated error divided by the kernel's divisor, the
// quotient truncated toward zero for either sign, and clamped to 0..255;
// its error is the corrected value less the colour chosen.
class TDiffusionDitherer : public TDitherEngine {
 public:
  void NextRow() override;
  int Divisor() const { return divisor_; }

 protected:
  TDiffusionDitherer(int width, TColorLookup& lookup, std::span<const KernelWeight> kernel, int divisor);

  // The pixel step of every engine, its kernel and divisor known to the
  // compiler.
  template <int Divisor, const auto& Kernel>
  std::uint8_t Diffuse(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                       std::uint8_t& outGreen, std::uint8_t& outBlue);
  template <int Divisor, const auto& Kernel>
  void DiffuseRow(const std::uint8_t* bgr, std::uint8_t* indices);
  template <int Divisor, const auto& Kernel, typename Lookup>
  void DiffuseRowThrough(Lookup& lookup, const std::uint8_t* bgr, std::uint8_t* indices);
#if defined(__SSE2__)
  // DiffuseRowThrough for the exact lookup, a pixel's three channels in one
  // vector, the errors for the pixels ahead in the current row carried in
  // registers.
  template <int Divisor, const auto& Kernel>
  void DiffuseRowExact(TExactColorLookup& lookup, const std::uint8_t* bgr, std::uint8_t* indices);
#endif
  template <int Divisor, const auto& Kernel, typename Lookup>
  std::uint8_t DiffuseThrough(Lookup& lookup, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                              std::uint8_t& outRed, std::uint8_t& outGreen, std::uint8_t& outBlue);

 private:
  TColorLookup& lookup_;
  // The lookup when it is the exact one, called without the indirection.
  TExactColorLookup* exact_;
  int divisor_;
  int margin_;
  int rows_;
  // rows_ error rows of (width + 2 * margin) columns of kLanes each (blue,
  // green, red and one unused, a column one vector); row k of the kernel
  // starts at rowStart_[k].
  static constexpr int kLanes = 4;
  std::vector<std::vector<std::int32_t>> errors_;
  std::vector<std::int32_t*> rowStart_;
  int first_ = 0;
  // For the exact lookup's engine: each palette entry's colour (blue,
  // green, red, 0) times the weight of the pixel next in the row, so that
  // the error the next pixel takes is one subtraction after the search.
  struct alignas(16) Share {
    std::int32_t lane[kLanes];
  };
  std::vector<Share> nextShare_;
};

// The kernels five columns wide and three rows deep.
class T5by3Ditherer : public TDiffusionDitherer {
 protected:
  using TDiffusionDitherer::TDiffusionDitherer;
};

// The kernels of the engines, each with its divisor (the sum of its
// weights but for Stucki's 42).
inline constexpr KernelWeight kFloydSteinbergKernel[] = {
    {0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1},
};
inline constexpr KernelWeight kStuckiKernel[] = {
    {0, 1, 8},  {0, 2, 4},                                    //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},  //
    {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1},  //
};
inline constexpr KernelWeight kSierraKernel[] = {
    {0, 1, 5},  {0, 2, 3},                                    //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},  //
    {2, -1, 2}, {2, 0, 3},  {2, 1, 2},                        //
};
inline constexpr KernelWeight kJaJuNiKernel[] = {
    {0, 1, 7},  {0, 2, 5},                                    //
    {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},  //
    {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1},  //
};
inline constexpr KernelWeight kSteveArcheKernel[] = {
    {0, 2, 32},                                        //
    {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},  //
    {2, -2, 12}, {2, 0, 26},  {2, 2, 12},              //
    {3, -3, 5},  {3, -1, 12}, {3, 1, 12}, {3, 3, 5},   //
};
inline constexpr KernelWeight kBurkesKernel[] = {
    {0, 1, 8},  {0, 2, 4},                                    //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},  //
};

// An engine of one kernel and divisor; the pixel step is compiled for them.
template <const auto& Kernel, int KernelDivisor, typename Base = TDiffusionDitherer>
class TKernelDitherer final : public Base {
 public:
  TKernelDitherer(int width, TColorLookup& lookup) : Base(width, lookup, Kernel, KernelDivisor) {}
  std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& outRed,
                           std::uint8_t& outGreen, std::uint8_t& outBlue) override;
  void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;
};

using TFloydSteinbergDitherer = TKernelDitherer<kFloydSteinbergKernel, 16>;
using TStuckiDitherer = TKernelDitherer<kStuckiKernel, 42, T5by3Ditherer>;
using TSierraDitherer = TKernelDitherer<kSierraKernel, 32, T5by3Ditherer>;
using TJaJuNiDitherer = TKernelDitherer<kJaJuNiKernel, 48, T5by3Ditherer>;
using TSteveArcheDitherer = TKernelDitherer<kSteveArcheKernel, 200>;
using TBurkesDitherer = TKernelDitherer<kBurkesKernel, 32>;

// Built once, in the engines' own file.
extern template class TKernelDitherer<kFloydSteinbergKernel, 16>;
extern template class TKernelDitherer<kStuckiKernel, 42, T5by3Ditherer>;
extern template class TKernelDitherer<kSierraKernel, 32, T5by3Ditherer>;
extern template class TKernelDitherer<kJaJuNiKernel, 48, T5by3Ditherer>;
extern template class TKernelDitherer<kSteveArcheKernel, 200>;
extern template class TKernelDitherer<kBurkesKernel, 32>;

// The engine of a dither mode; GIFException "Invalid reduction method" for a
// value outside DitherMode.
std::unique_ptr<TDitherEngine> CreateDitherEngine(DitherMode mode, int width, TColorLookup& lookup);

}  // namespace gif
