// A UART as the firmware sees it: a 32-byte receive FIFO fed from the wire one byte every ten
// bit-times at the programmed rate, a 32-byte transmit FIFO drained onto the wire at the same
// rate, and three level-triggered interrupt conditions.
#pragma once

#include <cstdint>
#include <deque>

namespace sim {

class UartModel {
  public:
    static constexpr int kFifoDepth = 32;
    static constexpr uint64_t kNever = UINT64_MAX;

    struct Sink {
        virtual void uart_byte_sent(int port, uint64_t t_ns, uint8_t byte) = 0;
        virtual void uart_rate_changed(int port, uint64_t t_ns, uint32_t rate) = 0;

      protected:
        ~Sink() = default;
    };

    UartModel(int port, Sink& sink);

    // Register-level operations of the firmware.
    void init(uint64_t now);
    // The rate the module's UART makes for a nominal rate (its fractional divider).
    void set_rate(uint64_t now, uint32_t bits_per_second);
    bool rx_ready() const { return rx_count_ > 0; }
    uint8_t rx_read();
    bool tx_ready() const { return tx_count_ < kFifoDepth; }
    void tx_write(uint64_t now, uint8_t byte);
    bool tx_complete() const { return tx_count_ == 0 && !shifting_; }
    void set_rx_irq(bool on) { rx_irq_ = on; }
    void set_tx_irq(bool on) { tx_irq_ = on; }
    void set_txc_irq(bool on) { txc_irq_ = on; }
    bool irq_asserted() const {
        return (rx_irq_ && rx_ready()) || (tx_irq_ && tx_ready()) || (txc_irq_ && tx_complete());
    }

    // Empties the transmitter at once, as if the line had carried its bytes away in no time
    // (benchmarks that never let time pass).
    void discard_tx() {
        tx_head_ = tx_count_ = 0;
        shifting_ = false;
        tx_done_ = kNever;
    }

    // The world puts a byte on the receive line at t_ns (at the earliest; bytes queue up behind
    // each other on the wire).
    void wire_in(uint64_t t_ns, uint8_t byte);

    // Time of the next byte completed on either line, kNever when the lines are quiet.
    uint64_t next_event() const;
    // Completes every byte due at or before now.
    void advance(uint64_t now);

    uint64_t byte_ns() const { return byte_ns_; }
    uint32_t rate() const { return rate_; }
    uint32_t overruns() const { return overruns_; }

  private:
    void start_rx(uint64_t now);
    void start_tx(uint64_t now);

    int port_;
    Sink& sink_;
    uint64_t byte_ns_ = 0;
    uint32_t rate_ = 0;

    struct WireByte {
        uint64_t t_ns;
        uint8_t byte;
    };
    std::deque<WireByte> wire_;
    bool receiving_ = false;
    uint64_t rx_done_ = kNever;
    uint64_t rx_line_free_ = 0;
    uint8_t rx_fifo_[kFifoDepth] = {};
    int rx_head_ = 0, rx_count_ = 0;
    uint32_t overruns_ = 0;

    uint8_t tx_fifo_[kFifoDepth] = {};
    int tx_head_ = 0, tx_count_ = 0;
    bool shifting_ = false;
    uint8_t tx_shift_ = 0;
    uint64_t tx_done_ = kNever;

    bool rx_irq_ = false, tx_irq_ = false, txc_irq_ = false;
};

}  // namespace sim
