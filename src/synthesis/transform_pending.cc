// Placeholder tables until the transform kernels land; every slot is empty.
#include "kernels/kernel_tables.h"

const aac_transform_kernels aac_transform_kernels_generic = {};
const aac_transform_kernels aac_transform_kernels_sse2 = {};
