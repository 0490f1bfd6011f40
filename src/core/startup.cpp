// The firmware's entry after the run-time start-up.
#include "core/main_loop.h"
#include "device/board.h"

int main() {
    interrupt_init();
    InitEverything();
    KV_main();
}
