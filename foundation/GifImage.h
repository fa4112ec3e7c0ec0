#pragma once
// GIF decoding (GIF87a and GIF89a) into full-canvas BGRA frames (foundation/BgraImage.h).
//
// Every frame is composed onto the logical screen as a player shows it: the canvas starts fully
// transparent; each image is drawn with its local palette or else the global one, leaving its
// transparent index (graphic control extension) untouched; the frame handed out is the whole
// canvas after that drawing; then the frame's disposal method is applied before the next image:
// 0 or 1 (and the undefined 4..7) keep the canvas, 2 clears the frame's rectangle to transparent
// (the file's background colour is not painted, so an animation laid over a picture shows the
// picture there), 3 restores the canvas as it was before the frame was drawn. Parts of an image
// outside the logical screen are clipped. Interlaced images are read in their four passes.
//
// Anything malformed is refused with a one-line reason for the log: a bad signature, no palette
// for an image, a colour index beyond the palette, an invalid LZW code, image data ending before
// the image is complete, an unknown block, the file ending before the trailer, no image at all.
// Limits: the logical screen within TImageLimits' side and pixel count, every image within the
// pixel count, and all frames together within FMaxTotalBytes (the composed canvases, and the
// images' own pixels at four bytes each, so that images reaching far past the screen cannot make
// the decoding run long). Apart from the frames the decoder holds one image's compressed data
// and, for disposal 3, one saved canvas.
#include "foundation/BgraImage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TGifFrame {
    TBgraImage FImage;      // the whole canvas, FWidth x FHeight of the animation
    uint32_t FDelayMs = 0;  // the file's delay (hundredths of a second) in milliseconds, 0 when none
    unsigned FDisposal = 0; // as stored in the file, 0..7
};

struct TGifAnimation {
    uint32_t FWidth = 0;
    uint32_t FHeight = 0;
    // The NETSCAPE2.0 (or ANIMEXTS1.0) loop count: 0 loops forever, N repeats N times after the
    // first showing; -1 when the file has none (the animation plays once).
    int FLoopCount = -1;
    std::vector<TGifFrame> FFrames;
};

// True with the frames in `animation`; false with the reason in `error` (`animation` is then empty).
bool DecodeGif(const uint8_t* data, std::size_t size, TGifAnimation& animation, std::string& error,
               const TImageLimits& limits = TImageLimits());
