#pragma once
// GIF pictures (87a and 89a) held as a tree of objects that mirrors the
// stream: the image owns a header (logical screen and global colour map) and
// a list of frames; each frame owns its image descriptor, local colour map,
// extensions and pixels (one colour index per byte, rows top to bottom).
// Every item and list reads and writes its own bytes.
//
// Errors are GIFException with the messages of stream_util.h. Problems that
// do not stop reading are warnings, passed to the owning image's
// WarningEvent with the object that found them as sender; reading then goes
// on.
//
// This header gathers the parts of the codec for programs that use all of
// it; the codec's own files include the part they use.
#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/stream_util.h"
