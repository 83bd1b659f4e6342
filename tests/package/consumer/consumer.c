/* A program outside the project, built against the installed package: it
 * decodes an ADTS stream and checks that every frame after the first came
 * out as a valid block with sound in it, then reads the same stream through
 * the file interface, which presents those blocks and the last frame's
 * second half.  A refused creation comes first:
 * the error path needs the library's load-time set-up, which a static link
 * could otherwise leave out. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <lumdec.h>

static int channels, valid, other;
static double energy;

static aac_status AAC_CALL on_block(aac_decoder *dec, void **slot)
{
    uintptr_t word = (uintptr_t)*slot;
    const float *pcm = (const float *)(word & ~(uintptr_t)AAC_SLOT_STATE_MASK);
    int i;
    (void)dec;
    if ((word & AAC_SLOT_STATE_MASK) != AAC_SLOT_VALID) {
        other++;
        return AAC_OK;
    }
    valid++;
    for (i = 0; i < 1024 * channels; i++)
        energy += (double)pcm[i] * pcm[i];
    return AAC_OK;
}

static int read_file(const char *path, int frames)
{
    static float buffer[8 * 1024];
    aac_file *file = NULL;
    aac_file_info info;
    int32_t n;
    int64_t samples = 0;
    if (aac_file_create(&file, NULL) != AAC_OK || aac_file_open_path(file, path, 0) != AAC_OK ||
        aac_file_get_info(file, &info) != AAC_OK) {
        fprintf(stderr, "consumer: cannot open %s: %s\n", path, aac_file_error(file));
        aac_file_close(file);
        return 1;
    }
    while ((n = aac_file_read(file, buffer, 1024, AAC_READ_INTERLEAVED)) > 0)
        samples += n;
    /* The info's strings belong to the handle: print before closing it. */
    printf("%s, %d Hz, %d channels: %lld samples\n", info.codec_name, (int)info.sample_rate,
           (int)info.channels, (long long)samples);
    aac_file_close(file);
    return n == 0 && samples == (int64_t)frames * 1024 ? 0 : 1;
}

int main(int argc, char **argv)
{
    static unsigned char data[1 << 20];
    size_t size, pos = 0;
    int frames = 0;
    aac_dec_config config = {0};
    aac_decoder *dec = NULL;
    aac_frame_alloc *pool = NULL;
    FILE *f = argc > 1 ? fopen(argv[1], "rb") : NULL;
    if (!f) {
        fprintf(stderr, "usage: consumer STREAM.aac\n");
        return 2;
    }
    size = fread(data, 1, sizeof data, f);
    fclose(f);

    config.profile = 1;
    config.channel_configuration = 11;
    if (aac_dec_create(&dec, &config) != AAC_ERR_BAD_STREAM) {
        fprintf(stderr, "consumer: layout 11 was not refused\n");
        return 1;
    }
    config.sampling_frequency_index = (data[2] >> 2) & 15;
    config.channel_configuration = ((data[2] & 1) << 2) | (data[3] >> 6);
    if (aac_dec_create(&dec, &config) != AAC_OK || aac_frame_alloc_create(&pool, 8) != AAC_OK) {
        fprintf(stderr, "consumer: cannot create a decoder\n");
        return 1;
    }
    channels = config.channel_configuration;
    dec->gain[0] = dec->gain[1] = 1.0f;
    dec->pool = pool;
    dec->output_hook = on_block;
    while (pos + 7 <= size && data[pos] == 0xFF) {
        size_t length = ((size_t)(data[pos + 3] & 3) << 11) | (data[pos + 4] << 3) | (data[pos + 5] >> 5);
        dec->input_data = data + pos + 7;
        dec->input_size = (int32_t)length - 7;
        if (aac_dec_decode(dec) != AAC_OK)
            return 1;
        frames++;
        pos += length;
    }
    dec->input_size = 0;
    aac_dec_decode(dec);
    aac_dec_destroy(dec);
    pool->ops->destroy(pool);
    printf("%d frames, %d valid blocks, energy %.3f\n", frames, valid, energy);
    if (!(frames > 1 && valid == frames - 1 && other == 1 && energy > 0))
        return 1;
    return read_file(argv[1], frames);
}
