#include "standalone.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sim {

namespace {

constexpr uint32_t kFbPixels = simlink::kFrameBufferPixels;

// Page-aligned, so that a fuzz harness can write-protect the guard zones (each a whole number of
// pages) and what lies beyond a smaller screen.
alignas(4096) uint16_t memory[Standalone::kGuardPixels + kFbPixels + Standalone::kGuardPixels];
simlink::BoardState state;
uint8_t eeprom_memory[simlink::kEepromBytes];
simlink::SdSlot slot;
simlink::Faults fault_counters;

class StandaloneLink final : public Link {
  public:
    uint64_t grant_until() const override { return UINT64_MAX; }
    void sync(Machine&) override {}
    void uart_output(int port, uint64_t, uint8_t byte) override {
        output[port & 1].push_back(char(byte));
    }
    void event(uint64_t, simlink::Event, uint32_t) override {}
    void power_lost(uint64_t) override {}
    [[noreturn]] void reset(uint64_t) override { throw Standalone::ProcessorReset{}; }
    [[noreturn]] void fatal(const char* why) override {
        std::fprintf(stderr, "voxa standalone board: %s\n", why);
        std::abort();
    }
    std::string output[2];
};

StandaloneLink link;

}  // namespace

Standalone& Standalone::instance() {
    static Standalone board;
    return board;
}

Standalone::Standalone() {
    reset_guards();
    static Machine m(link, state, memory + kGuardPixels, 0);
    machine_ = &m;
    set_machine(machine_);
    std::memset(eeprom_memory, 0xFF, sizeof eeprom_memory);
    m.attach_storage(eeprom_memory, &slot, &fault_counters);
}

void Standalone::reset_guards() {
    for (uint32_t i = 0; i < kGuardPixels; ++i) {
        memory[i] = kGuardPattern;
        memory[kGuardPixels + kFbPixels + i] = kGuardPattern;
    }
}

bool Standalone::guards_intact() const {
    for (uint32_t i = 0; i < kGuardPixels; ++i) {
        if (memory[i] != kGuardPattern || memory[kGuardPixels + kFbPixels + i] != kGuardPattern) {
            return false;
        }
    }
    return true;
}

std::string Standalone::take_output(int port) {
    std::string s;
    s.swap(link.output[port & 1]);
    return s;
}

void Standalone::send(int port, std::string_view bytes) {
    machine_->wire_in(port, machine_->now(), reinterpret_cast<const uint8_t*>(bytes.data()),
                      uint32_t(bytes.size()));
}

void Standalone::run_for_ns(uint64_t ns) {
    const uint64_t end = machine_->now() + ns;
    while (machine_->now() < end) machine_->idle(end - machine_->now());
}

uint8_t* Standalone::eeprom() {
    return eeprom_memory;
}
simlink::Faults& Standalone::faults() {
    return fault_counters;
}

void Standalone::cut_power_at_eeprom_write(uint64_t n, bool byte_stored) {
    fault_counters.eeprom_writes = 0;
    fault_counters.eeprom_cut_stores = byte_stored ? 1 : 0;
    fault_counters.eeprom_cut_at = n;
}

void Standalone::insert_sd_image(const std::string& path) {
    machine_->sd().insert_image(path);
}
void Standalone::insert_sd_memory(uint8_t* data, size_t size, uint32_t sectors) {
    machine_->sd().insert_memory(data, size, sectors);
}
void Standalone::insert_sd_folder(const std::string& path) {
    machine_->sd().insert_folder(path);
}
void Standalone::remove_sd() {
    machine_->sd().remove();
}

}  // namespace sim
