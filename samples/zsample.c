/* A small DLL of our own: the library Zandrel opens when it is started without a file. Its
   exports show the usual kinds: stdcall functions (their names carry the byte count of their
   parameters on 32-bit Windows), cdecl functions and a data export. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#define ZS_API __declspec(dllexport)

ZS_API int ZsCounter = 0;

ZS_API int __stdcall ZsAdd(int a, int b) { return a + b; }

ZS_API int __stdcall ZsGreet(const char* name, char* out, int size) {
    return snprintf(out, (size_t)size, "Hello, %s!", name ? name : "world");
}

ZS_API void __stdcall ZsShutdown(void) { ZsCounter = 0; }

ZS_API double __stdcall ZsScale(double value, int factor) { return value * factor; }

ZS_API int ZsVersion(void) { return 1; }

ZS_API int ZsLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vfprintf(stderr, format, args);
    va_end(args);
    ++ZsCounter;
    return n;
}

ZS_API size_t ZsLength(const char* text) { return text ? strlen(text) : 0; }
