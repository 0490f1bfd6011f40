@ The first thing the board does after reset: the peripheral clock dividers and the SDRAM.
@ The stacks, .data and .bss all live in SDRAM, which does not work until its controller has
@ powered the devices up and loaded their mode register, so this runs on registers alone (it
@ touches no stack, unlike anything a C++ compiler would produce).

        .syntax unified
        .arm

@ Clock controller: peripheral clock divider register 1 (each field divides the MPLL by n + 1).
        .equ CRM_PCDR1,             0x1002701C
        .equ PCDR1_PERDIV1_SHIFT,   0           @ PERCLK1: UARTs, GPTs, PWM
        .equ PCDR1_PERDIV2_SHIFT,   8           @ PERCLK2: SD host, CSPI
        .equ PCDR1_PERDIV3_SHIFT,   16          @ PERCLK3: LCD pixel clock
        .equ PCDR1_PERDIV4_SHIFT,   24          @ PERCLK4: camera interface (unused)
        .equ PERDIV1,               15          @ 266 MHz / 16 = 16.625 MHz
        .equ PERDIV2,               7           @ 266 MHz / 8 = 33.25 MHz
        .equ PERDIV3,               4           @ 266 MHz / 5 = 53.2 MHz, halved by the LCDC
        .equ PERDIV4,               15
        .equ PCDR1_VALUE, (PERDIV1 << PCDR1_PERDIV1_SHIFT) | (PERDIV2 << PCDR1_PERDIV2_SHIFT) | (PERDIV3 << PCDR1_PERDIV3_SHIFT) | (PERDIV4 << PCDR1_PERDIV4_SHIFT)

@ SDRAM controller, chip select CSD0 (64 MB: two 256 Mbit x16 parts on the 32-bit bus, 4 banks,
@ 13 row and 9 column address bits).
        .equ SDRAMC_SDCTL0,         0xDF000000
        .equ CSD0_BASE,             0xC0000000
        .equ SDCTL_SDE,             1 << 31     @ controller enable
        .equ SDCTL_SMODE_NORMAL,    0 << 28
        .equ SDCTL_SMODE_PRECHARGE, 1 << 28
        .equ SDCTL_SMODE_REFRESH,   2 << 28
        .equ SDCTL_SMODE_SET_MODE,  3 << 28
        .equ SDCTL_ROW_13,          2 << 24
        .equ SDCTL_COL_9,           1 << 20
        .equ SDCTL_DSIZ_32,         2 << 16
        .equ SDCTL_SREFR_4_ROWS,    3 << 14     @ 4 rows per 32 kHz refresh clock: 8192 rows in 64 ms
        .equ SDCTL_SCL_CAS3,        3 << 8
        .equ SDCTL_SRP_3_CLOCKS,    0 << 6
        .equ SDCTL_SRCD_3_CLOCKS,   3 << 4
        .equ SDCTL_SRC_9_CLOCKS,    9 << 0      @ row cycle: about 68 ns at HCLK 133 MHz
        .equ SDCTL_GEOMETRY, SDCTL_SDE | SDCTL_ROW_13 | SDCTL_COL_9 | SDCTL_DSIZ_32 | SDCTL_SCL_CAS3
        .equ SDCTL_TIMING, SDCTL_SREFR_4_ROWS | SDCTL_SRP_3_CLOCKS | SDCTL_SRCD_3_CLOCKS | SDCTL_SRC_9_CLOCKS

@ In the command modes the controller puts the CPU address bits above the byte lanes (2) and the
@ columns (9) on the SDRAM address lines: A10 high selects all banks for the precharge, and the
@ mode register value is read at its shifted address.
        .equ SDRAM_ROW_SHIFT,       11
        .equ SDRAM_PRECHARGE_ALL,   CSD0_BASE | (1 << (SDRAM_ROW_SHIFT + 10))
        .equ MODE_BURST_8,          3
        .equ MODE_CAS_3,            3 << 4
        .equ MODE_WRITE_SINGLE,     1 << 9
        .equ SDRAM_MODE_ADDRESS, CSD0_BASE | ((MODE_BURST_8 | MODE_CAS_3 | MODE_WRITE_SINGLE) << SDRAM_ROW_SHIFT)
        .equ SDRAM_REFRESH_CYCLES,  8

@ The devices want 100-200 us of stable clock before the first command; this many loop passes
@ take longer than that even at the full core clock.
        .equ POWER_UP_LOOPS,        60000

        .section .text.board_early_init, "ax", %progbits
        .global board_early_init
        .type board_early_init, %function
board_early_init:
        ldr     r0, =CRM_PCDR1
        ldr     r1, =PCDR1_VALUE
        str     r1, [r0]

        ldr     r2, =POWER_UP_LOOPS
1:      subs    r2, r2, #1
        bne     1b

        ldr     r0, =SDRAMC_SDCTL0
        ldr     r1, =(SDCTL_GEOMETRY | SDCTL_SMODE_PRECHARGE)
        str     r1, [r0]
        ldr     r2, =SDRAM_PRECHARGE_ALL
        ldr     r3, [r2]

        ldr     r1, =(SDCTL_GEOMETRY | SDCTL_SMODE_REFRESH)
        str     r1, [r0]
        ldr     r2, =CSD0_BASE
        mov     r12, #SDRAM_REFRESH_CYCLES
2:      ldr     r3, [r2]
        subs    r12, r12, #1
        bne     2b

        ldr     r1, =(SDCTL_GEOMETRY | SDCTL_SMODE_SET_MODE)
        str     r1, [r0]
        ldr     r2, =SDRAM_MODE_ADDRESS
        ldr     r3, [r2]

        ldr     r1, =(SDCTL_GEOMETRY | SDCTL_TIMING | SDCTL_SMODE_NORMAL)
        str     r1, [r0]
        bx      lr
        .size board_early_init, . - board_early_init
        .ltorg
