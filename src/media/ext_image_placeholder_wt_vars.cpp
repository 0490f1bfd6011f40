// Stands in for the bitmap size look-up until the external-memory image reader provides it:
// no bitmap has a size yet.
#include "media/ext_image.h"

int KV_GetBitmapSize(int, int*, int*) {
    return 0;
}
