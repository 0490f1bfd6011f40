#include "media/ext_mem_area.h"

alignas(4) uint8_t ExtMemRamBuffer[kExtMemSize];
