#pragma once

// Marks a hot function to be built twice, for the processor's widest common vector unit (AVX2 with
// FMA) and for the baseline, with the choice made once when the program starts. The wide build
// names a feature level, not a processor model, so that every processor with those features
// takes it. Loops inside such
// a function, and the inline functions it calls, vectorise for both.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define OXEL_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define OXEL_VECTOR_CLONES
#endif
