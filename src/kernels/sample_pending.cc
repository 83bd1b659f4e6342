// Placeholder tables until the sample kernels land; every slot is empty.
#include "kernels/kernel_tables.h"

const aac_sample_kernels aac_sample_kernels_generic = {};
const aac_sample_kernels aac_sample_kernels_sse2 = {};
