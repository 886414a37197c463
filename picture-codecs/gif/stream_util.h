#pragma once
// The messages of the GIF codec and the small stream routines its items,
// lists and encoders share (stream_util.cpp).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "picture-codecs/gif/colour_types.h"
#include "platform/stream.h"

namespace gif {

using platform::Stream;

// The messages of the codec, as users and callers see them.
namespace msg {
inline constexpr const char* kPrematureEnd = "Premature end of data";
inline constexpr const char* kBadSignature = "Invalid GIF signature";
inline constexpr const char* kBadVersion = "Unsupported GIF version";
inline constexpr const char* kUnknownBlock = "Unknown GIF block type";
inline constexpr const char* kBadTrailer = "Invalid Image trailer";
inline constexpr const char* kBadIntroducer = "Invalid extension introducer";
inline constexpr const char* kUnknownExtension = "Unknown extension type";
inline constexpr const char* kExtensionMismatch = "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char* kBadAppBlockSize = "Unsupported Application Extension block size";
inline constexpr const char* kBadData = "Invalid GIF data";
inline constexpr const char* kBadColourIndex = "Invalid color index";
inline constexpr const char* kTableOverflow = "Color table overflow";
inline constexpr const char* kTableEmpty = "Color table is empty";
inline constexpr const char* kWidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* kHeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* kExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* kBadCoordinates = "Invalid pixel coordinates";
inline constexpr const char* kImageEmpty = "Image is empty";
inline constexpr const char* kNoColourTable = "No global or local color table defined";
inline constexpr const char* kNotSupported = "Object type not supported for operation";
inline constexpr const char* kClipboardFailed = "Failed to store GIF on clipboard";
inline constexpr const char* kUnderrun = "Decoder bit buffer under-run";
inline constexpr const char* kCircular = "Circular decoder table entry";
inline constexpr const char* kColourNotInTable = "Color not in color table";
inline constexpr const char* kBadDimensions = "Invalid image dimensions";
inline constexpr const char* kScreenTooLarge = "Logical screen too large to show";
inline constexpr const char* kFramesTooLarge = "Image too large: its frames hold more pixels than can be loaded";
inline constexpr const char* kBadStreamOp = "Invalid stream operation";
inline constexpr const char* kLoading = "Loading...";
inline constexpr const char* kSaving = "Saving...";
inline constexpr const char* kRendering = "Rendering...";
inline constexpr const char* kCopying = "Copying...";
}  // namespace msg

// Severity of a problem that does not stop reading.
inline constexpr int kSeverityWarning = 1;

// ---- small stream routines shared by the codec ----------------------------

[[noreturn]] void RaiseGIFError(const std::string& message);
void WriteByte(Stream& stream, std::uint8_t value);
// The next byte, or nothing at the end of the stream.
std::optional<std::uint8_t> ReadByte(Stream& stream);
// count bytes, or GIFException "Premature end of data".
void ReadExact(Stream& stream, void* buffer, std::size_t count);
// Each line as sub-blocks of at most 255 bytes (an empty line writes
// nothing), then one terminator 0.
void WriteStringBlocks(Stream& stream, const std::vector<std::string>& lines);
// Every sub-block becomes one line, cut at its first zero byte; stops at the
// terminator or the end of the stream.
void ReadStringBlocks(Stream& stream, std::vector<std::string>& lines);
// Reads sub-blocks up to and including the terminator (or the end of the
// stream) without keeping them.
void SkipSubBlocks(Stream& stream);
// 0 for 0; else the smallest b >= 1 with 2^b >= count.
int BitsForColours(int count);
// Bytes of a row of width pixels at bitsPerPixel, padded to alignment bits.
int RowBytes(int width, int bitsPerPixel, int alignment);
// a * b / c rounded to the nearest integer (c != 0).
int MulDiv(std::int64_t a, std::int64_t b, std::int64_t c);

}  // namespace gif
