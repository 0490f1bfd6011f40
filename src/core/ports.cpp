// The two UARTs' set-up: which one is the host port, their interrupt handlers and their baud
// rates.
#include "base/settings_record.h"
#include "core/serial_private.h"
#include "device/board.h"
#include "settings/settings.h"

volatile uint8_t mainIsUart0 = 1;
uint8_t prevMain;
uint32_t baudrate0 = kDefaultBaud;
uint32_t baudrate1 = kDefaultBaud;
volatile uint8_t binaryEnable = 1;
volatile uint8_t binaryDisable;
volatile uint8_t stringSent;

namespace serial {

void host_isr() {
    const int p = hostPort();
    while (uart_rx_ready(p)) host_rx_byte(uart_rx_read(p));
    host_tx_service();
}

}  // namespace serial

using namespace serial;

namespace {

void program_rate(int port, uint32_t rate) {
    uart_set_rate(port, KV_BaudSupported(rate) ? rate : kDefaultBaud);
}

// Points both UARTs' interrupts at the handlers of their current roles.
void install_handlers() {
    const int host = hostPort();
    const int aux = auxPort();
    interrupt_disable(uart_irq_source(kCom0));
    interrupt_disable(uart_irq_source(kCom1));
    interrupt_set_isr(uart_irq_source(host), host_isr);
    interrupt_set_isr(uart_irq_source(aux), aux_isr);
    interrupt_enable(uart_irq_source(kCom0), 0);
    interrupt_enable(uart_irq_source(kCom1), 0);
}

}  // namespace

int hostPort() {
    return mainIsUart0 ? kCom0 : kCom1;
}
int auxPort() {
    return mainIsUart0 ? kCom1 : kCom0;
}

void KV_COM_Init0() {
    interrupt_disable(uart_irq_source(kCom0));
    rxInit();
    txInit();
    uart_init(kCom0);
    KV_COM_BaudRate(KV_EEPROMvalid() ? KV_EEPROM_eeVal2Rate(eepromData.baud0) : kDefaultBaud);
    uart_rx_irq(kCom0, true);
    mainIsUart0 = 1;
    interrupt_set_isr(uart_irq_source(kCom0), host_isr);
    interrupt_enable(uart_irq_source(kCom0), 0);
}

void KV_COM_Init1() {
    interrupt_disable(uart_irq_source(kCom1));
    auxInit();
    uart_init(kCom1);
    uart_com1_tx_enable(false);
    KV_AUX_BaudRate(KV_EEPROMvalid() ? KV_EEPROM_eeVal2Rate(eepromData.baud1) : kDefaultBaud);
    uart_rx_irq(kCom1, true);
    interrupt_set_isr(uart_irq_source(kCom1), mainIsUart0 ? aux_isr : host_isr);
    interrupt_enable(uart_irq_source(kCom1), 0);
}

void makeUart0Main() {
    prevMain = mainIsUart0 ? 0 : 1;
    mainIsUart0 = 1;
    install_handlers();
}

void makeUart1Main() {
    prevMain = mainIsUart0 ? 0 : 1;
    mainIsUart0 = 0;
    install_handlers();
}

int KV_BaudSupported(uint32_t rate) {
    return KV_EEPROM_Rate2eeVal(rate) != 0xFF ? 1 : 0;
}

void KV_COM_BaudRate(uint32_t rate) {
    if (!KV_BaudSupported(rate)) rate = kDefaultBaud;
    program_rate(kCom0, rate);
    baudrate0 = rate;
}

void KV_AUX_BaudRate(uint32_t rate) {
    if (!KV_BaudSupported(rate)) rate = kDefaultBaud;
    program_rate(kCom1, rate);
    baudrate1 = rate;
}

uint32_t KV_COM_getBaud(int port) {
    return port == 0 ? baudrate0 : baudrate1;
}
