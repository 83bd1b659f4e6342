/* A tour of lumdec's sample services on one synthetic 5-channel frame:
 * downmix to stereo, conversion to 16-bit and back, a fade-out and a fade-in,
 * and the CRC of a header.  It prints what each step did. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lumdec.h"

#define FRAME 1024

/* 16-byte aligned buffer of n floats (the sample services need aligned
 * buffers); freed with free(). */
static float *aligned_floats(size_t n)
{
    void *p = NULL;
    if (posix_memalign(&p, 16, n * sizeof(float)) != 0) {
        fprintf(stderr, "out of memory\n");
        exit(1);
    }
    memset(p, 0, n * sizeof(float));
    return p;
}

static double peak(const float *x, size_t n)
{
    double m = 0;
    for (size_t i = 0; i < n; i++)
        if (fabs(x[i]) > m)
            m = fabs(x[i]);
    return m;
}

int main(void)
{
    static const char *names[5] = {"centre", "front left", "front right", "left surround",
                                   "right surround"};
    static const double freq[5] = {220.0, 440.0, 660.0, 880.0, 1100.0};
    float *five = aligned_floats(5 * FRAME);
    float *pair = aligned_floats(2 * FRAME);
    float *back = aligned_floats(2 * FRAME);
    short *pcm16 = (short *)aligned_floats(FRAME); /* 2 x 1024 shorts */
    const double pi = 3.14159265358979323846;

    /* Planar 3/2 frame at the 16-bit scale: channel c at [1024c, 1024c + 1024). */
    for (int c = 0; c < 5; c++)
        for (int i = 0; i < FRAME; i++)
            five[c * FRAME + i] = (float)(6000.0 * sin(2 * pi * freq[c] * i / 48000.0));
    printf("input: one frame of %d samples in 5 channels\n", FRAME);
    for (int c = 0; c < 5; c++)
        printf("  %-15s %6.0f Hz sine, peak %.1f\n", names[c], freq[c], peak(five + c * FRAME, FRAME));

    aac_downmix_3_2_to_pair(five, pair);
    printf("downmix 3/2 -> stereo: left = (L + Ls) + C, right = (R + Rs) + C\n");
    printf("  left peak %.1f, right peak %.1f, sample 100: left %.3f right %.3f\n",
           peak(pair, FRAME), peak(pair + FRAME, FRAME), pair[100], pair[FRAME + 100]);

    aac_convert_pair_to_raw(pair, pcm16, AAC_RAW_S16);
    aac_convert_pair_from_raw(back, pcm16, AAC_RAW_S16);
    double worst = 0;
    for (int i = 0; i < 2 * FRAME; i++) {
        double ref = pair[i] > 32767.0f ? 32767.0 : pair[i] < -32768.0f ? -32768.0 : pair[i];
        if (fabs(back[i] - ref) > worst)
            worst = fabs(back[i] - ref);
    }
    printf("stereo -> interleaved 16-bit -> float: first frame L %d R %d, "
           "largest rounding error %.3f\n", pcm16[0], pcm16[1], worst);

    aac_fade_out_channels(pair, 2);
    printf("fade out: sample 0 x %.6f, sample 511 x %.6f, samples 512..1023 silent (peak %.1f)\n",
           511.5 / 512, 0.5 / 512, peak(pair + 512, 512));
    aac_fade_in_channels(back, 2);
    printf("fade in: samples 0..511 silent (peak %.1f), sample 1023 x %.6f\n",
           peak(back, 512), 511.5 / 512);

    {
        const unsigned char header[9] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
        printf("CRC-16 of \"123456789\" from 0xFFFF: 0x%04X\n",
               (unsigned)aac_calc_crc_bytes(0xFFFF, 9, header));
    }

    free(five);
    free(pair);
    free(back);
    free(pcm16);
    return 0;
}
