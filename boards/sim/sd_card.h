// The simulated SD card slot: empty, a card whose sectors are a FAT image (a file, or memory
// for fuzzing), or a host folder shown through the board's file-system driver.
//
// Sector transfers honour the fault injection counters (a read or write fails from the Nth one
// on) and leave the SD host controller's status as the hardware would after such a failure.
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

    simlink::SdKind kind() const { return kind_; }
    bool present() const { return kind_ != simlink::SdKind::kNone; }
    // The card answers its initialisation.
    bool ready() const;
    uint32_t sectors() const { return sectors_; }

    bool read(uint32_t sector, uint8_t* data);
    bool write(uint32_t sector, const uint8_t* data);
    uint32_t status() const { return status_; }

    HostFolder& folder() { return folder_; }

  private:
    bool fail_now(bool write);

    simlink::SdKind kind_ = simlink::SdKind::kNone;
    int fd_ = -1;
    uint8_t* memory_ = nullptr;
    uint32_t memory_sectors_ = 0;                           // sectors backed by memory_
    std::map<uint32_t, std::array<uint8_t, 512>> overlay_;  // written sectors beyond them
    uint32_t sectors_ = 0;
    uint32_t status_ = 0;
    simlink::Faults* faults_ = nullptr;
    HostFolder folder_;
};

}  // namespace sim
