/* A DLL of ours whose exports come in every form a 32-bit DLL spells them (set by the .def files
 * beside it): stdcall code under its plain name ("Add2"), MinGW's "Name@N", MSVC's "_Name@N", a
 * fastcall "@Name@N", and a cdecl function. */
#if defined(__i386__)
#define STDCALL __stdcall
#define FASTCALL __fastcall
#else
#define STDCALL
#define FASTCALL
#endif

STDCALL int Add2(int a, int b) { return a + b; }
STDCALL int Mul3(int a, int b, int c) { return a * b * c; }
STDCALL int Sub2(int a, int b) { return a - b; }
FASTCALL int Fast2(int a, int b) { return a * 10 + b; }
int Cdecl2(int a, int b) { return a * 100 + b; }
