#pragma once
// PNG decoding into a BGRA picture (foundation/BgraImage.h: straight alpha, top-down rows).
//
// Every colour type and bit depth of the format is read: grey 1/2/4/8/16 bits, truecolour 8/16,
// palette 1/2/4/8 with its tRNS alpha, grey and truecolour with alpha 8/16, the single-colour tRNS
// key of grey and truecolour pictures, Adam7 interlacing. Samples of 16 bits keep their high byte
// (the key colour is compared at full precision first); samples under 8 bits are scaled to 0..255.
// A palette index beyond the palette reads as opaque black. Gamma, colour-space and text chunks
// are checked (CRC) and otherwise ignored.
//
// Anything malformed is refused with a one-line reason for the log: a bad signature, a chunk whose
// CRC does not match, a missing, misplaced or repeated critical chunk, an unknown critical chunk,
// an invalid header combination, a broken or short zlib stream, an unknown row filter, image data
// beyond the picture or the file ending before IEND. Limits: the declared size must be within
// TImageLimits, and it must be one the compressed data present could inflate to (deflate cannot
// expand more than about 1032 to 1), so a short file declaring a huge picture is refused before
// the picture is allocated. The image data is inflated row by row: besides the picture itself the
// decoder holds two rows.
#include "foundation/BgraImage.h"

#include <cstddef>
#include <cstdint>
#include <string>

// True with the picture in `image`; false with the reason in `error` (`image` is then empty).
bool DecodePng(const uint8_t* data, std::size_t size, TBgraImage& image, std::string& error,
               const TImageLimits& limits = TImageLimits());
