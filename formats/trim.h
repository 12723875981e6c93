// The plane coding of the system's TRIM images: the data of the "RGBT",
// "RGBA" and "MONO" chunks, and of coding 3 of layered files.
//
// Each channel plane is coded by itself: a 256-byte code table, then the
// plane in tiles of 16 by 16 pixels, left to right and top to bottom.  The
// table turns codes into deltas by cumulative sums of zig-zag values (code
// k: +k/2 for even k, -(k+1)/2 for odd k, modulo 256).  Each pixel is
// predicted from its left neighbour, or from the pixel above when that one
// differs less from the upper-left pixel than the left neighbour does; the
// decoded delta is added modulo 256.  The first row predicts from the left,
// the first column from above, the first pixel from 0.
//
// A tile is a 2-byte big-endian count of bytes, then those bytes: count 0
// means every code of the tile is 0; otherwise a byte k (0 to 7) and the
// tile's codes in rows, each as a Rice code of parameter k, bits from the
// most significant first: q = code >> k one-bits and a zero-bit, then the
// low k bits of the code; a code with q of 15 or more is 15 one-bits and
// its 8 bits.
#pragma once

#include <cstdint>
#include <vector>

struct Image;

constexpr int kTrimTile = 16;

// Codes `planes` planes of a locked image, in the order red, green, blue,
// alpha (1: the red plane alone, for grey images).  Appends the bytes to
// `out` and returns how many were added.
long trim_encode(const Image* image, int planes, std::vector<uint8_t>& out);

// Decodes `planes` planes into a locked image of the coded size; one plane
// fills red, green and blue, three leave alpha as it is.  0 done; 1 when
// the data end early or break the coding (what was decoded before stays).
// `used` (when given) receives the number of bytes read.
int trim_decode(const uint8_t* data, long size, Image* image, int planes, long* used = nullptr);

// One plane, `stride` bytes from one pixel to the next and `pitch` bytes
// from one row to the next; the building blocks of the two above.
void trim_encode_plane(const uint8_t* plane, long width, long height, long stride, long pitch,
                       std::vector<uint8_t>& out);
// 0 done; 1 damaged or short.  Advances `pos`.
int trim_decode_plane(const uint8_t* data, long size, long& pos, uint8_t* plane, long width, long height,
                      long stride, long pitch);
