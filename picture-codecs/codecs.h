#pragma once
// Registers every picture codec of this library with the picture registry:
// file extensions and clipboard formats. Programs call it once at start, before
// any picture is loaded; calling it again changes nothing.
namespace codecs {

void RegisterPictureCodecs();

}  // namespace codecs
