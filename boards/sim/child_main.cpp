// Start-up of the simulated board in a child process of voxa-sim: attach to the world before
// the firmware's main() runs, as the boot ROM and run-time start-up do on the real board.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "child_link.h"
#include "device/panel_config.h"
#include "flash_window.h"
#include "machine.h"

namespace {

alignas(sim::ChildLink) unsigned char link_storage[sizeof(sim::ChildLink)];
alignas(sim::Machine) unsigned char machine_storage[sizeof(sim::Machine)];

__attribute__((constructor)) void attach_to_world() {
    if (!std::getenv(simlink::kChildEnv)) {
        std::fprintf(stderr,
                     "This is the %s firmware of the simulated VOXA5-PLUS board.\n"
                     "Run it through voxa-sim (voxa-sim --panel %s).\n",
                     panel::kBuildName, panel::kBuildName);
        std::exit(2);
    }
    void* mem = mmap(nullptr, sizeof(simlink::Shared), PROT_READ | PROT_WRITE, MAP_SHARED,
                     simlink::kSharedFd, 0);
    if (mem == MAP_FAILED) {
        std::perror("voxa board: shared memory");
        _exit(2);
    }
    auto* shared = static_cast<simlink::Shared*>(mem);
    auto* link = new (link_storage) sim::ChildLink(simlink::kLinkFd);
    const uint64_t start = link->receive_start();
    auto* m = new (machine_storage) sim::Machine(*link, shared->board, shared->framebuffer, start);
    sim::set_machine(m);
    void* eeprom = mmap(nullptr, simlink::kEepromBytes, PROT_READ | PROT_WRITE, MAP_SHARED,
                        simlink::kEepromFd, 0);
    if (eeprom == MAP_FAILED) {
        std::perror("voxa board: EEPROM");
        _exit(2);
    }
    m->attach_storage(static_cast<uint8_t*>(eeprom), &shared->sd, &shared->faults);
    m->attach_touch(&shared->touch, &shared->touch_log);
    // The window is the one the world held at this power-on: a file the world puts in its
    // place later is seen from the next start. The descriptor stays open for the board's own
    // erase and program operations.
    const uint8_t* flash2 = sim::map_flash_window(simlink::kFlash2Fd);
    if (!flash2) {
        std::perror("voxa board: Flash2 window");
        _exit(2);
    }
    m->attach_flash2(flash2, simlink::kFlash2Fd);
    m->attach_flash_log(&shared->flash_log);
    m->attach_dataflash_id(&shared->dataflash_id);
    simlink::HelloPayload hello{};
    std::strncpy(hello.panel, panel::kBuildName, sizeof hello.panel - 1);
    hello.width = panel::kWidth;
    hello.height = panel::kHeight;
    link->send_hello(hello);
}

}  // namespace
