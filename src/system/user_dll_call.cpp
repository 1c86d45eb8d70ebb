// The call of a user DLL's function. A user function may remove its arguments itself (stdcall)
// or leave them to the caller (cdecl), and nothing in a DLL says which: the thunk copies the
// arguments below its own frame, calls, and then takes the stack pointer back from its frame, so
// either kind returns to a stack exactly as it was.
#include "core/win32.h"

#include "system/system_internal.h"

#if !defined(__i386__)
#error "the user-function thunk is written for 32-bit x86"
#endif

// CallUserFunction(function, arguments, count), cdecl. EBX, ESI and EDI are saved for the caller
// and EBP anchors the frame; the arguments start on a 16-byte boundary for callees that expect
// an aligned stack.
asm(R"(
    .text
    .p2align 4
    .globl _CallUserFunction
    .def _CallUserFunction; .scl 2; .type 32; .endef
_CallUserFunction:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    leal (,%ecx,4), %eax
    subl %eax, %esp
    andl $-16, %esp
    movl %esp, %edi
    cld
    rep movsl
    movl 8(%ebp), %eax
    call *%eax
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
