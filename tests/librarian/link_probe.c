/* Linked against import libraries that polib built from Wine's DLLs and nothing else, then run
 * under Wine. Every function is reached through the names our libraries give: the public name
 * (a call through the linker's thunk) or the __imp_ pointer, and one data export through its
 * __imp_ pointer only. probe_names.h, written by real_dlls.sh, holds each function's public name
 * as our library spells it ("_lstrlenA@4" on x86 where polib read the count from the code). */
#include "probe_names.h"

#if defined(__i386__)
#define DATA(name) "_" name
#define WINAPI __attribute__((stdcall))
#else
#define DATA(name) name
#define WINAPI
#endif
#define IMP(name) "__imp_" name

/* msvcrt: cdecl functions called directly, a data export through its pointer */
extern int printf_(const char*, ...) __asm__(NAME_printf);
extern long strtol_(const char*, char**, int) __asm__(NAME_strtol);
extern void exit_(int) __asm__(NAME_exit);
extern int* imp_mb_cur_max __asm__(IMP(DATA("__mb_cur_max")));
/* kernel32: one through the thunk, one through the pointer; lstrlenA and GetCurrentProcessId */
extern int WINAPI lstrlenA_(const char*) __asm__(NAME_lstrlenA);
extern unsigned long (WINAPI* imp_GetCurrentProcessId)(void) __asm__(IMP(NAME_GetCurrentProcessId));
extern unsigned long WINAPI GetLastError_(void) __asm__(NAME_GetLastError);
extern void WINAPI SetLastError_(unsigned long) __asm__(NAME_SetLastError);
/* HeapAlloc is a forwarder to ntdll in Wine's kernel32: still imported from kernel32 */
extern void* WINAPI GetProcessHeap_(void) __asm__(NAME_GetProcessHeap);
extern void* (WINAPI* imp_HeapAlloc)(void*, unsigned long, unsigned long) __asm__(IMP(NAME_HeapAlloc));
/* user32 and gdi32 */
extern char* WINAPI CharUpperA_(char*) __asm__(NAME_CharUpperA);
extern void* WINAPI GetStockObject_(int) __asm__(NAME_GetStockObject);

void entry(void) {
    char word[] = "zandrel";
    SetLastError_(1234);
    printf_("lstrlenA=%d\n", lstrlenA_("polib"));
    printf_("GetLastError=%lu\n", GetLastError_());
    printf_("pid=%s\n", imp_GetCurrentProcessId() != 0 ? "nonzero" : "zero");
    char* block = imp_HeapAlloc(GetProcessHeap_(), 8 /* HEAP_ZERO_MEMORY */, 16);
    printf_("HeapAlloc=%s\n", block && block[15] == 0 ? "zeroed" : "failed");
    printf_("strtol=%ld\n", strtol_("-4711", 0, 10));
    printf_("mb_cur_max=%d\n", *imp_mb_cur_max);
    printf_("CharUpperA=%s\n", CharUpperA_(word));
    printf_("GetStockObject=%s\n", GetStockObject_(0) ? "handle" : "null");
    exit_(0);
}
