/* The public header compiles as strict C and the shared library works from
 * C: the exports resolve, the library loaded itself (its error-frame slot
 * exists, so guarded exports run) and records have their C layout, on a
 * 32-bit build word for word as a 32-bit host expects. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "lumdec.h"
#include "record_words.h"

static int failures;

#define CHECK(cond)                                                   \
    do {                                                              \
        if (!(cond)) {                                                \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            failures++;                                               \
        }                                                             \
    } while (0)

int main(void)
{
    static const unsigned char digits[] = "123456789";
    aac_frame_alloc *pool = NULL;
    void *block = NULL;

    CHECK(aac_calc_crc_bytes(0xFFFF, 9, digits) == 0xAEE7);
    CHECK(aac_enc_create(NULL, NULL) == AAC_ERR_UNSUPPORTED);
    CHECK(aac_enc_destroy(NULL) == AAC_ERR_UNSUPPORTED && aac_enc_encode(NULL) == AAC_ERR_UNSUPPORTED);

    CHECK(aac_frame_alloc_create(&pool, 2) == AAC_OK);
    CHECK(pool != NULL && pool->block_size == 8192);
    if (pool) {
        CHECK(pool->ops->get(pool, &block) == AAC_OK);
        CHECK(((size_t)block & 15) == 0);
        CHECK(pool->ops->put(pool, block) == AAC_OK);
        CHECK(pool->ops->destroy(pool) == AAC_OK);
    }
    CHECK(aac_frame_alloc_create(&pool, 0) == AAC_ERR_BAD_STREAM);

    /* An HE-AAC decoder from an AudioSpecificConfig (LC 22050 Hz mono,
     * implicit signalling allowed) and its output format. */
    {
        static const unsigned char asc[] = {0x13, 0x88};
        aac_decoder *dec = NULL;
        aac_output_format format;
        CHECK(aac_dec_create_asc(&dec, asc, 2, AAC_ASC_IMPLICIT) == AAC_OK);
        CHECK(dec != NULL && aac_dec_get_format(dec, &format) == AAC_OK);
        CHECK(format.sample_rate == 44100 && format.core_sample_rate == 22050);
        CHECK(format.block_bytes == 2 * 2048 * 4 && format.fixed == 0);
        if (dec)
            CHECK(aac_dec_destroy(dec) == AAC_OK);
    }

    /* Field order of the records that cross the boundary. */
    CHECK(offsetof(aac_dec_config, bytes_used) == 0);
    CHECK(offsetof(aac_dec_config, input_data) < offsetof(aac_dec_config, stream_flag));
    CHECK(offsetof(aac_decoder, bytes_used) == 4);
    CHECK(offsetof(aac_decoder, gain) < offsetof(aac_decoder, pool));
    CHECK(offsetof(aac_decoder, element_map) < offsetof(aac_decoder, stream_tables));
    CHECK(sizeof(aac_element_map) == 52 * 4);
    CHECK(sizeof(aac_frame_alloc_ops) == 3 * sizeof(void (*)(void)));

    if (sizeof(void *) == 4) {
#define CHECK_FIELD(record, field, word) CHECK(offsetof(record, field) == 4 * (word));
#define CHECK_SIZE(record, words) CHECK(sizeof(record) == 4 * (words));
        LUMDEC_RECORD_FIELDS(CHECK_FIELD)
        LUMDEC_RECORD_SIZES(CHECK_SIZE)
    }

    if (failures == 0)
        puts("C interface: all checks passed");
    return failures != 0;
}
