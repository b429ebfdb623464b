#include "stdcall_call.h"

// hwgatek_call_stdcall(function, words, count, record), cdecl. EDI holds the
// stack pointer from before the arguments across the call (a callee that
// lost it would crash the host, which fails the test as well); the stack is
// put back from it whatever the callee did.
asm(R"(
    .text
    .globl _hwgatek_call_stdcall
_hwgatek_call_stdcall:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  20(%ebp), %eax
    movl  %fs:0, %ecx
    movl  %ecx, 4(%eax)
    movl  12(%ebp), %esi
    movl  16(%ebp), %ecx
    movl  %esp, %edi
1:  testl %ecx, %ecx
    jz    2f
    decl  %ecx
    pushl (%esi,%ecx,4)
    jmp   1b
2:  movl  $0x600DF00D, %ebx
    movl  $0x5AFE5AFE, %esi
    call  *8(%ebp)
    movl  %esp, %ecx
    subl  %edi, %ecx
    movl  %edi, %esp
    movl  20(%ebp), %edx
    movl  %ecx, 0(%edx)
    movl  %fs:0, %ecx
    movl  %ecx, 8(%edx)
    movl  %ebx, 12(%edx)
    movl  %esi, 16(%edx)
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");
