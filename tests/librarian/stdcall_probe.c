/* Calls the functions of stdcall_dll.c the way a C program declares them, so the linker looks
 * for their decorated names ("_Add2@8", "@Fast2@8"), and links against libraries that polib
 * built and nothing else. */
#if defined(__i386__)
#define STDCALL __stdcall
#define FASTCALL __fastcall
#else
#define STDCALL
#define FASTCALL
#endif

int STDCALL Add2(int, int);
int STDCALL Mul3(int, int, int);
int STDCALL Sub2(int, int);
int FASTCALL Fast2(int, int);
int Cdecl2(int, int);
int printf(const char*, ...);
void exit(int);

void entry(void) {
    printf("Add2=%d Mul3=%d Sub2=%d Fast2=%d Cdecl2=%d\n", Add2(40, 2), Mul3(2, 3, 7), Sub2(50, 8), Fast2(4, 2),
           Cdecl2(4, 2));
    exit(0);
}
