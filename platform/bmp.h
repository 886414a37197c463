#pragma once
// Windows BMP files: reading every common variant (1, 4, 8, 16, 24 and 32
// bits; uncompressed, run-length encoded or with bit fields; bottom-up or
// top-down; core and extended headers) and writing the plain uncompressed
// kind that every reader understands.
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace platform {

// Reads a BMP file from the stream's position into bitmap. A damaged or
// truncated file throws GraphicError and leaves bitmap as it was. A
// run-length picture of more than 16 million pixels must carry at least one
// byte of data per 256 pixels: a small file cannot claim a huge picture that
// it leaves out with moves and an early end.
void ReadBmp(Stream& stream, Bitmap& bitmap);
// Writes bitmap as an uncompressed bottom-up BMP in its own pixel format
// (Device as 32 bits), with its palette for the indexed formats.
void WriteBmp(Stream& stream, const Bitmap& bitmap);

}  // namespace platform
