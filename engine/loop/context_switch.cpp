#include "loop/context_switch.h"

#include <cstdint>

#if !defined(__x86_64__)
#error "velk_loop_switch is written for x86-64"
#endif

// Saves rbp, rbx, r12-r15 and the SSE and x87 control words on the current
// stack, stores the stack pointer in *rdi, loads rsi and restores the same from
// there.  Everything else is caller-saved under the System V ABI.  It leaves
// by an indirect jump, not ret: a ret to another stack's caller defeats the
// return-address predictor on every switch (measured: about twice the cost).
asm(R"(
    .text
    .globl velk_loop_switch
    .type velk_loop_switch,@function
    .p2align 4
velk_loop_switch:
    .cfi_startproc
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $8, %rsp
    stmxcsr (%rsp)
    fnstcw 4(%rsp)
    movq %rsp, (%rdi)
    movq %rsi, %rsp
    ldmxcsr (%rsp)
    fldcw 4(%rsp)
    addq $8, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    popq %r8
    jmpq *%r8
    .cfi_endproc
    .size velk_loop_switch,.-velk_loop_switch
    .section .note.GNU-stack,"",@progbits
    .text
)");

namespace velk::loop {

StackPointer prepareContext(void* top, void (*entry)()) {
    auto* slot = reinterpret_cast<uint64_t*>(reinterpret_cast<uintptr_t>(top) & ~uintptr_t{15});
    *--slot = 0;  // entry's return address: none; it must never return
    *--slot = reinterpret_cast<uint64_t>(entry);  // where velk_loop_switch returns to
    for (int i = 0; i < 6; ++i) *--slot = 0;      // rbp rbx r12 r13 r14 r15
    // Default control words: MXCSR 0x1F80 (all exceptions masked, round to
    // nearest) in the low half, x87 0x037F in the next.
    *--slot = 0x1F80u | (uint64_t{0x037F} << 32);
    return slot;
}

}  // namespace velk::loop
