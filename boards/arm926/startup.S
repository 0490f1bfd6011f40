// Reset and exception entry shared by the ARM926 boards. The board's linker script places
// .vectors at the address the core fetches vectors from and provides the stack tops.

    .syntax unified
    .arm

    .equ MODE_USR, 0x10
    .equ MODE_FIQ, 0x11
    .equ MODE_IRQ, 0x12
    .equ MODE_SVC, 0x13
    .equ MODE_ABT, 0x17
    .equ MODE_UND, 0x1B
    .equ PSR_I, 0x80
    .equ PSR_F, 0x40

    .equ FAULT_UNDEFINED, 0
    .equ FAULT_PREFETCH, 1
    .equ FAULT_DATA, 2

    .section .vectors, "ax"
    .global __vectors
__vectors:
    // Absolute loads, so the table works wherever the code is linked relative to it.
    ldr pc, =reset_handler
    ldr pc, =undefined_handler
    ldr pc, =swi_handler
    ldr pc, =prefetch_handler
    ldr pc, =data_abort_handler
    nop
    ldr pc, =irq_handler
    ldr pc, =fiq_handler
    .ltorg

    .text
    .global reset_handler
    .type reset_handler, %function
reset_handler:
    // Every mode gets its own stack; all interrupts stay masked until the firmware enables them.
    msr cpsr_c, #(MODE_IRQ | PSR_I | PSR_F)
    ldr sp, =__stack_irq_top
    msr cpsr_c, #(MODE_FIQ | PSR_I | PSR_F)
    ldr sp, =__stack_fiq_top
    msr cpsr_c, #(MODE_ABT | PSR_I | PSR_F)
    ldr sp, =__stack_abt_top
    msr cpsr_c, #(MODE_UND | PSR_I | PSR_F)
    ldr sp, =__stack_und_top
    msr cpsr_c, #(MODE_SVC | PSR_I | PSR_F)
    ldr sp, =__stack_svc_top

    // Before .data and .bss exist: the board may need the MMU on for their addresses.
    bl board_early_init

    ldr r0, =__data_load
    ldr r1, =__data_start
    ldr r2, =__data_end
    cmp r0, r1
    beq 2f
1:  cmp r1, r2
    ldrlo r3, [r0], #4
    strlo r3, [r1], #4
    blo 1b
2:
    ldr r1, =__bss_start
    ldr r2, =__bss_end
    mov r3, #0
3:  cmp r1, r2
    strlo r3, [r1], #4
    blo 3b

    ldr r4, =__init_array_start
    ldr r5, =__init_array_end
4:  cmp r4, r5
    bhs 5f
    ldr r3, [r4], #4
    blx r3
    b 4b
5:
    bl main
6:  b 6b
    .size reset_handler, . - reset_handler

    // The firmware never enables nested interrupts: the handler runs with IRQ masked, on the
    // IRQ stack, and saves what the AAPCS lets a C function clobber.
    .type irq_handler, %function
irq_handler:
    sub lr, lr, #4
    // Six words keep the stack 8-byte aligned for the C code.
    push {r0-r3, r12, lr}
    bl board_irq_dispatch
    ldm sp!, {r0-r3, r12, pc}^
    .size irq_handler, . - irq_handler

    .type fiq_handler, %function
fiq_handler:
    sub lr, lr, #4
    push {r0-r3, r12, lr}
    bl board_fiq_dispatch
    ldm sp!, {r0-r3, r12, pc}^
    .size fiq_handler, . - fiq_handler

    .type undefined_handler, %function
undefined_handler:
    mov r0, #FAULT_UNDEFINED
    sub r1, lr, #4
    b board_fault
    .size undefined_handler, . - undefined_handler

    .type prefetch_handler, %function
prefetch_handler:
    mov r0, #FAULT_PREFETCH
    sub r1, lr, #4
    b board_fault
    .size prefetch_handler, . - prefetch_handler

    .type data_abort_handler, %function
data_abort_handler:
    // The faulting data address is more use than the instruction's.
    mov r0, #FAULT_DATA
    mrc p15, 0, r1, c6, c0, 0
    b board_fault
    .size data_abort_handler, . - data_abort_handler

    // Nothing issues SWI; treat one as a fault of the undefined kind rather than return into
    // code that did not expect it.
    .type swi_handler, %function
swi_handler:
    mov r0, #FAULT_UNDEFINED
    sub r1, lr, #4
    b board_fault
    .size swi_handler, . - swi_handler
