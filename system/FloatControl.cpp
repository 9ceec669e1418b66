#include "system/FloatControl.h"

void SetFloatControlWord() {
#if defined(__i386__) || defined(__x86_64__)
  uint16_t Word = ShowControlWord;
  __asm__ volatile("fldcw %0" : : "m"(Word));
#endif
}

uint16_t GetFloatControlWord() {
#if defined(__i386__) || defined(__x86_64__)
  uint16_t Word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(Word));
  return Word;
#else
  return 0;
#endif
}
