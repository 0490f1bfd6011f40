// The GIF decoder on any bytes, in pieces of any size, at any place and clip box (see
// image_decoder_fuzz.h for the input's prefix). Seeds: fuzz/corpus/gif_decoder/.
#include "image_decoder_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::start_image_target();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::run_image_decoder(GUI_GIF_DrawEx, data, size);
}
