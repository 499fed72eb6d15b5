/* Heap blocks for the OEM INF cleanup. The allocation runs inside a
   structured-exception guard, so that a heap that raises instead of failing
   (a damaged heap, or one set to raise on failure) costs that block and a
   message box, not the run. */
#include "uninstall.h"

/* Where the guard resumes, and the code of the exception it caught. */
static void *GuardResume[5];
static DWORD GuardCode;

#ifdef __i386__
/* 32-bit Windows finds a thread's handlers through a list of records on its
   stack, headed by the first word of the thread block: the guard puts a
   record of its own first, and its handler unwinds the records above its
   own before it resumes. */
static NT_TIB *ThreadBlock(void)
{
    NT_TIB *block;
    __asm__ __volatile__("movl %%fs:0x18, %0" : "=r"(block));
    return block;
}
#define DeclareGuard(record, next) EXCEPTION_REGISTRATION_RECORD record = { next, GuardHandler }
#define EnterGuard(record) (ThreadBlock()->ExceptionList = &(record))
#define UnwindAbove(frame, record) RtlUnwind(frame, NULL, record, NULL)
#else
/* 64-bit Windows finds handlers through the unwind tables of the functions
   on the stack: the guard names its handler in those of the allocating
   function, and nothing stands above it to unwind. */
static NT_TIB *ThreadBlock(void)
{
    NT_TIB *block;
    __asm__ __volatile__("movq %%gs:0x30, %0" : "=r"(block));
    return block;
}
#define DeclareGuard(record, next) __asm__ __volatile__(".seh_handler %c0, @except" : : "i"(GuardHandler))
#define EnterGuard(record) ((void)0)
#define UnwindAbove(frame, record) ((void)(frame), (void)(record))
#endif

/* Exception handler of the guard: records the code and resumes behind the
   allocation. */
static EXCEPTION_DISPOSITION NTAPI GuardHandler(EXCEPTION_RECORD *record, void *frame, CONTEXT *, void *)
{
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    GuardCode = record->ExceptionCode;
    UnwindAbove(frame, record);
    __builtin_longjmp(GuardResume, 1);
}

/* HeapAlloc inside a guard that takes every exception; GuardCode tells which
   one was raised (0 when none). The handler list of the thread is put back as
   it was whichever way the call ends. */
static __attribute__((noinline)) void *GuardedHeapAlloc(DWORD size)
{
    void *volatile block = NULL;
    EXCEPTION_REGISTRATION_RECORD *volatile saved = ThreadBlock()->ExceptionList;
    DeclareGuard(record, saved);

    GuardCode = 0;
    if (__builtin_setjmp(GuardResume) == 0) {
        EnterGuard(record);
        block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    }
    ThreadBlock()->ExceptionList = saved;
    return block;
}

/* A zero-filled block of the process heap, or NULL. An exception raised by
   the heap is shown as the system's text for an access violation or for a
   lack of memory. */
void *AllocBlock(DWORD size)
{
    void *block = GuardedHeapAlloc(size);

    if (GuardCode != 0)
        ShowSystemError(GuardCode == STATUS_ACCESS_VIOLATION ? ERROR_NOACCESS : ERROR_OUTOFMEMORY);
    return block;
}

/* Gives a block of AllocBlock back; a failure is shown with the system's text. */
void FreeBlock(void *block)
{
    if (!HeapFree(GetProcessHeap(), 0, block))
        ShowSystemError(GetLastError());
}
