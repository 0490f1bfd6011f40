#include "uart_model.h"

#include "boards/imx21/uart_divider.h"

namespace sim {

namespace {

// Ten bit-times (start, eight data, stop) at the rate the divider gives:
// rate = ref x (inc + 1) / (16 x (mod + 1)).
uint64_t byte_time_ns(uint32_t increment, uint32_t modulator) {
    const uint64_t num = 10ull * 1000000000ull * 16ull * (uint64_t(modulator) + 1);
    const uint64_t den = uint64_t(imx21::kUartRefClockHz) * (uint64_t(increment) + 1);
    return (num + den / 2) / den;
}

uint32_t rate_of(uint32_t increment, uint32_t modulator) {
    const uint64_t num = uint64_t(imx21::kUartRefClockHz) * (uint64_t(increment) + 1);
    const uint64_t den = 16ull * (uint64_t(modulator) + 1);
    return uint32_t((num + den / 2) / den);
}

}  // namespace

UartModel::UartModel(int port, Sink& sink) : port_(port), sink_(sink) {
    // Until the firmware programs the divider, the line runs at 115200.
    const uint32_t increment = imx21::uart_increment(115200);
    byte_ns_ = byte_time_ns(increment, imx21::kUartModulator);
    rate_ = rate_of(increment, imx21::kUartModulator);
}

void UartModel::init(uint64_t now) {
    // The reset empties the FIFOs; a byte on its way through the shifter is cut off.
    rx_head_ = rx_count_ = 0;
    tx_head_ = tx_count_ = 0;
    shifting_ = false;
    tx_done_ = kNever;
    rx_irq_ = tx_irq_ = txc_irq_ = false;
    (void)now;
}

void UartModel::set_rate(uint64_t now, uint32_t bits_per_second) {
    const uint32_t increment = imx21::uart_increment(bits_per_second);
    byte_ns_ = byte_time_ns(increment, imx21::kUartModulator);
    const uint32_t rate = rate_of(increment, imx21::kUartModulator);
    if (rate != rate_) {
        rate_ = rate;
        sink_.uart_rate_changed(port_, now, rate);
    }
}

uint8_t UartModel::rx_read() {
    if (rx_count_ == 0) return 0;
    const uint8_t b = rx_fifo_[rx_head_];
    rx_head_ = (rx_head_ + 1) % kFifoDepth;
    --rx_count_;
    return b;
}

void UartModel::tx_write(uint64_t now, uint8_t byte) {
    if (tx_count_ == kFifoDepth) return;  // a write to a full FIFO is lost, as on the chip
    tx_fifo_[(tx_head_ + tx_count_) % kFifoDepth] = byte;
    ++tx_count_;
    if (!shifting_) start_tx(now);
}

void UartModel::start_tx(uint64_t now) {
    if (tx_count_ == 0) {
        shifting_ = false;
        tx_done_ = kNever;
        return;
    }
    tx_shift_ = tx_fifo_[tx_head_];
    tx_head_ = (tx_head_ + 1) % kFifoDepth;
    --tx_count_;
    shifting_ = true;
    tx_done_ = now + byte_ns_;
}

void UartModel::wire_in(uint64_t t_ns, uint8_t byte) {
    wire_.push_back({t_ns, byte});
    if (!receiving_) start_rx(t_ns);
}

void UartModel::start_rx(uint64_t now) {
    if (wire_.empty()) {
        receiving_ = false;
        rx_done_ = kNever;
        return;
    }
    uint64_t start = wire_.front().t_ns;
    if (start < rx_line_free_) start = rx_line_free_;
    if (start < now) start = now;
    receiving_ = true;
    rx_done_ = start + byte_ns_;
}

uint64_t UartModel::next_event() const {
    return rx_done_ < tx_done_ ? rx_done_ : tx_done_;
}

void UartModel::advance(uint64_t now) {
    while (tx_done_ <= now) {
        const uint64_t t = tx_done_;
        sink_.uart_byte_sent(port_, t, tx_shift_);
        start_tx(t);
    }
    while (rx_done_ <= now) {
        const uint64_t t = rx_done_;
        const uint8_t b = wire_.front().byte;
        wire_.pop_front();
        rx_line_free_ = t;
        if (rx_count_ < kFifoDepth) {
            rx_fifo_[(rx_head_ + rx_count_) % kFifoDepth] = b;
            ++rx_count_;
        } else {
            ++overruns_;
        }
        start_rx(t);
    }
}

}  // namespace sim
