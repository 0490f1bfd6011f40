// Image files from the SD card drawn on the screen: the decoder chosen by the file name's
// ending, the file pulled in pieces through a small cache of whole card blocks, so that an
// image of any size is shown without a buffer that holds it.
#pragma once

#include <cstdint>

#include "device/panel_config.h"
#include "fs/file_ops.h"

// The cache: a window of whole 512-byte blocks of the open image file.
constexpr uint32_t kImageDataBufSize = panel::kBuild.sd_image_buffer;
// The most one request is served.
constexpr unsigned kImageRequestLimit = 2400;

// Draws the image file name of the current directory with its top-left corner at (x, y):
// ".BMP", ".GIF" or ".JPG" in either case. 1 when it was drawn; 0 after a message when there is
// no card, the file cannot be opened or its type is not one of these, and 0 when the decoder
// refused the data (what it drew stays, and it said why).
int KV_Draw_SdImageFile(const char* name, int x, int y);

// The decoders' get-data function for an image file opened for reading (context): makes count
// bytes (at most kImageRequestLimit) from offset on available in the cache, sets *data to them
// and returns how many there are; fewer at the end of the file, 0 at or past its end and on a
// read error. A request at offset 0 starts a new image.
int GetData_Ex_SdImageFile(void* context, const uint8_t** data, unsigned count, uint32_t offset);
