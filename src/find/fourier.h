#pragma once
// The FFT that gemmi ships (pocketfft), included one way everywhere.
//
// Plain malloc for the transforms' buffers: the header's vector path asks
// aligned_alloc for sizes that are not a multiple of the alignment, which the
// C library leaves undefined (and the sanitizers refuse). GCC cannot see that
// malloc'ed buffers are written before they are read, and says otherwise.
#define POCKETFFT_NO_VECTORS
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <gemmi/third_party/pocketfft_hdronly.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
