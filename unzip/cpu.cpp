// What the processor offers, for the code that is built a second time for it and chosen
// once per run: the CRC's carry-less multiplication, the decoder's BMI2 loop. Both also
// need SSE2. On a processor other than x86 the answer is always no.
#include "unzip/unzip.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>

// SSE2, with the other feature bits of cpuid leaf 1 in *ecx.
static int has_sse2(unsigned *ecx) {
    unsigned a, b, d;
    return __get_cpuid(1, &a, &b, ecx, &d) && (d & bit_SSE2);
}

int cpu_has_clmul(void) {
    unsigned c;
    return has_sse2(&c) && (c & bit_PCLMUL);
}

int cpu_has_bmi2(void) {
    unsigned a, b, c, d;
    return has_sse2(&c) && __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_BMI2);
}
#else
int cpu_has_clmul(void) {
    return 0;
}

int cpu_has_bmi2(void) {
    return 0;
}
#endif
