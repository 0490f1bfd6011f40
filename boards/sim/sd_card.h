// The simulated SD card slot: empty, a card whose sectors are a FAT image (a file, or memory
// for fuzzing), or a host folder shown through the board's file-system driver.
//
// A card that has just gone into the slot is powered but uninitialised, as a real one: it
// answers no transfer (nor, for a folder, any file operation) until the firmware brings it up
// with sd_card_init(). So a firmware that missed a swap cannot write into the new card through
// what it read from the old one.
//
// Sector transfers honour the fault injection counters (a read or write fails from the Nth one
// on; the power goes during the Nth write, which is then stored, lost or torn) and leave the SD
// host controller's status as the hardware would after such a failure.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "host_folder.h"
#include "protocol.h"

namespace sim {

class SdCard {
  public:
    SdCard() = default;
    ~SdCard();
    SdCard(const SdCard&) = delete;
    SdCard& operator=(const SdCard&) = delete;

    void attach_faults(simlink::Faults* faults) { faults_ = faults; }

    void remove();
    // A card whose sectors are the file at path. A file that cannot be opened gives a card
    // that does not answer.
    void insert_image(const std::string& path);
    // A card of the given number of sectors whose first size bytes are at data (kept by the
    // caller); the sectors after them read as zeros until written (fuzzing: a large card from
    // a small input).
    void insert_memory(uint8_t* data, size_t size, uint32_t sectors = 0);
    void insert_folder(const std::string& path);

    // The card-detect contacts alone open (true) or close again while the card stays seated
    // and powered: a bounce of the switch. Taking the card out or putting one in closes them.
    void bounce_switch(bool open) { switch_open_ = open; }

    simlink::SdKind kind() const { return kind_; }
    // The card-detect switch: closed while a card sits in the slot.
    bool present() const { return kind_ != simlink::SdKind::kNone && !switch_open_; }
    // The card answers its initialisation.
    bool ready() const;
    // Brings the card up (sd_card_init); true when it is ready for transfers.
    bool initialise();
    // The card was brought up since it went in.
    bool initialised() const { return initialised_; }
    // The start of every transfer or file operation: true when the card answers; otherwise a
    // response time-out is left in the status.
    bool respond();
    uint32_t sectors() const { return sectors_; }

    bool read(uint32_t sector, uint8_t* data);
    bool write(uint32_t sector, const uint8_t* data);
    // True once, after the write that an armed power cut (Faults::sd_cut_at) fell on: the
    // machine then loses its power.
    bool take_power_cut() {
        const bool cut = power_cut_;
        power_cut_ = false;
        return cut;
    }
    uint32_t status() const { return status_; }

    HostFolder& folder() { return folder_; }

  private:
    bool fail_now(bool write);
    // Stores the sector as the power cut leaves it (the whole of data, or its first bytes).
    bool store(uint32_t sector, const uint8_t* data, uint32_t bytes);

    simlink::SdKind kind_ = simlink::SdKind::kNone;
    int fd_ = -1;
    uint8_t* memory_ = nullptr;
    uint32_t memory_sectors_ = 0;                           // sectors backed by memory_
    std::map<uint32_t, std::array<uint8_t, 512>> overlay_;  // written sectors beyond them
    uint32_t sectors_ = 0;
    uint32_t status_ = 0;
    bool initialised_ = false;
    bool switch_open_ = false;
    bool power_cut_ = false;
    simlink::Faults* faults_ = nullptr;
    HostFolder folder_;
};

}  // namespace sim
