#include "media/extmem_program.h"

#include "device/board.h"

namespace {

// The boot flash's write buffer addressing does not carry across a 64 KB boundary.
constexpr uint32_t kProgramBlockBoundary = 0x10000;

}  // namespace

static_assert(uint64_t(kFlash2Sectors) * kFlash2SectorSize == kFlash2Size);

int KV_ExtMem_ProgramArea(uint32_t offset, const uint8_t* data, uint32_t length) {
    if (length & 1) return kProgramOddLength;
    if (!data) return kProgramNoData;
    // Compared without forming offset + length, which could wrap.
    if (offset > kFlash2Size || length > kFlash2Size - offset) return kProgramPastEnd;
    while (length) {
        const uint32_t room = kProgramBlockBoundary - offset % kProgramBlockBoundary;
        const uint32_t block = length < room ? length : room;
        if (FlashWriteBlock(kFlash2Address + offset, data, block) != 0) return kProgramRefused;
        offset += block;
        data += block;
        length -= block;
    }
    return kProgramOk;
}

int KV_ExtMem_Erase_Sector(int n) {
    if (n < 0 || n >= kFlash2Sectors) return 1;
    const uint32_t address = kFlash2Address + uint32_t(n) * kFlash2SectorSize;
    if (FlashIsErased(address, kFlash2SectorSize)) return 0;
    return FlashEraseSector(address) == 0 ? 0 : 1;
}
