// Placeholder tables until the vector kernels land; every slot is empty.
#include "kernels/kernel_tables.h"

const aac_vector_kernels aac_vector_kernels_generic = {};
const aac_vector_kernels aac_vector_kernels_sse2 = {};
