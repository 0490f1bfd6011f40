// The two UARTs: com0 and com1, one the host port (command lines in, replies and notifications
// out), the other the auxiliary pass-through port. Line assembly, XON/XOFF in both directions,
// the RS-485 addressed mode on com1, role changes and the transmit path.
#pragma once

#include <cstdint>

#include "base/host_text.h"

constexpr int kRxRingSize = 512;
constexpr int kRxXoffLevel = 384;  // more waiting than this: ask the host to pause
constexpr int kRxXonLevel = 128;   // no more waiting than this: let the host go on
constexpr int kAuxRingSize = 129;
constexpr int kTxBufSize = 129;
constexpr int kTxMaxString = 128;
constexpr int kTxMaxBinary = 129;
constexpr int kLineBufSize = 130;  // myBuf, expBuf, locBuf

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;
constexpr uint32_t kDefaultBaud = 115200;

// Result of isLineAvail().
enum LineStatus : int { kNoLine = 0, kLineReady = 1, kRxOverflow = 2, kBinaryDropped = 3 };

extern volatile uint8_t mainIsUart0;
extern uint8_t prevMain;
extern uint32_t baudrate0;
extern uint32_t baudrate1;
extern volatile uint8_t binaryEnable;
extern volatile uint8_t binaryDisable;
extern volatile uint8_t stringSent;  // completed transmissions since the line was read

// Initialisation and roles.
void KV_COM_Init0();
void KV_COM_Init1();
void makeUart0Main();
void makeUart1Main();
void Init_485mode();
// 1 while RS-485 addressed mode is on (the settings' rs485Mode is 'Z').
int rs485Active();
// The UART (kCom0 or kCom1) that is the host port / the auxiliary port.
int hostPort();
int auxPort();

// Baud rates. An unsupported rate programs and records 115200.
void KV_COM_BaudRate(uint32_t rate);
void KV_AUX_BaudRate(uint32_t rate);
uint32_t KV_COM_getBaud(int port);
// 1 when the rate is one of the table's.
int KV_BaudSupported(uint32_t rate);

// Reception, main-loop side.
int isLineAvail();
void rxString(char* buf, int max);
void rxReset();
int checkEscape();
int checkAbortCmd();
void fakeNullCommand();
int waitChar();
int peekChar();
// 1 when a complete line is waiting and its first byte is c (the line stays waiting).
int lineWaitingStartsWith(char c);
// Raw reception for binary transfers: bytes are stored without interpretation.
void setRawReception(int on);

// Auxiliary port reception.
int anyAuxRx();
void getAuxRx(char* buf, int max);
int getAinBin(uint8_t* buf, int n);
void aFlushRx();

// Transmission (txString, txNotify, pout and perr: base/host_text.h): every call returns when
// its bytes have left.
void txSavedBuf();
int anythingToTx();
void txChar(char c);
void aTxString(const char* s);
void aTxBinary(const uint8_t* bytes, int n);
