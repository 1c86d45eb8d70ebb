/* A user DLL for the system module's tests, built twice: with stdcall exports decorated
   ("StdcallTen@40") and, linked with --kill-at, plain ("StdcallTen"). Every function notes where
   its frame lay, so a test can see that its caller's stack stays where it was across calls. */
#include <stdint.h>

static volatile uintptr_t lastFrame;

#define NOTE_FRAME() (lastFrame = (uintptr_t)__builtin_frame_address(0))
/* Order-sensitive: arguments that arrive swapped or shifted give another value. */
#define MIX10                                                                                      \
    ((((((((((17u * 31 + a1) * 31 + a2) * 31 + a3) * 31 + a4) * 31 + a5) * 31 + a6) * 31 + a7) *   \
           31 +                                                                                    \
       a8) *                                                                                       \
          31 +                                                                                     \
      a9) *                                                                                        \
         31 +                                                                                      \
     a10)
#define TEN_ARGS                                                                                   \
    uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5, uint32_t a6, uint32_t a7,     \
        uint32_t a8, uint32_t a9, uint32_t a10

__declspec(dllexport) uintptr_t __cdecl LastFrame(void) {
    return lastFrame;
}

__declspec(dllexport) int32_t __cdecl CdeclNone(void) {
    NOTE_FRAME();
    return 7;
}
__declspec(dllexport) int32_t __cdecl CdeclOne(int32_t a) {
    NOTE_FRAME();
    return a * 3 + 1;
}
__declspec(dllexport) uint32_t __cdecl CdeclTen(TEN_ARGS) {
    NOTE_FRAME();
    return MIX10;
}

__declspec(dllexport) int32_t __stdcall StdcallNone(void) {
    NOTE_FRAME();
    return 11;
}
__declspec(dllexport) int32_t __stdcall StdcallOne(int32_t a) {
    NOTE_FRAME();
    return a * 5 - 2;
}
__declspec(dllexport) uint32_t __stdcall StdcallTen(TEN_ARGS) {
    NOTE_FRAME();
    return ~MIX10;
}
