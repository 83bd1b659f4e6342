/*
 * lumdec: an AAC-LC decoding library with a flat C interface.
 *
 * A host creates a decoder for one stream, hands it one AAC raw_data_block
 * per aac_dec_decode() call and receives one block of planar float audio per
 * frame (1024 samples per channel) through output_hook.  Beside the decoder
 * the library offers sample-format conversion, a 3/2 downmix, fades, a block
 * pool and the CRC-16 of the AAC error check.
 *
 * Every function here follows the C calling convention; records are plain
 * structures whose 32-bit fields keep the order documented below.
 */
#ifndef LUMDEC_H
#define LUMDEC_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(LUMDEC_BUILDING) && !defined(LUMDEC_STATIC)
#    define AAC_API __declspec(dllexport)
#  elif !defined(LUMDEC_STATIC)
#    define AAC_API __declspec(dllimport)
#  else
#    define AAC_API
#  endif
#  define AAC_CALL __cdecl
#else
#  define AAC_API __attribute__((visibility("default")))
#  define AAC_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Status codes                                                              */
/* ------------------------------------------------------------------------ */

/* Signed 32-bit result: 0 is success, every failure has the top bit set.
 * A negative value returned by a host hook is passed through unchanged. */
typedef int32_t aac_status;

#define AAC_OK                 ((aac_status)0)
/* Returned by the encoder entry points, always. */
#define AAC_ERR_UNSUPPORTED    ((aac_status)(-2147483647 - 1)) /* 0x80000000 */
/* An allocation hook returned null. */
#define AAC_ERR_NO_MEMORY      ((aac_status)(-2147483647 + 1)) /* 0x80000002 */
/* The data ran out, or the frame breaks the standard's rules or the
 * configuration. */
#define AAC_ERR_CORRUPT_FRAME  ((aac_status)(-2147483647 + 2)) /* 0x80000003 */
/* Reserved or unsupported syntax, or an unsupported configuration. */
#define AAC_ERR_BAD_STREAM     ((aac_status)(-2147483647 + 3)) /* 0x80000004 */
/* Reasons of the file interface (section "Files"). */
/* A file cannot be opened, read or seeked, or a host read/seek hook failed. */
#define AAC_ERR_IO             ((aac_status)(-2147483647 + 4)) /* 0x80000005 */
/* The bytes are neither an ADTS stream nor an MP4 file, or the container is
 * damaged beyond use. */
#define AAC_ERR_FORMAT         ((aac_status)(-2147483647 + 5)) /* 0x80000006 */
/* A null pointer, a value out of range, or a call in the wrong state. */
#define AAC_ERR_ARGUMENT       ((aac_status)(-2147483647 + 6)) /* 0x80000007 */
/* The file holds no audio track of that number. */
#define AAC_ERR_NO_TRACK       ((aac_status)(-2147483647 + 7)) /* 0x80000008 */

/* ------------------------------------------------------------------------ */
/* Raw sample formats and sample-kernel groups                               */
/* ------------------------------------------------------------------------ */

#define AAC_RAW_S16        0 /* signed 16-bit little-endian */
#define AAC_RAW_S24_IN_32  1 /* 24-bit sample in bits 8..31 of a 32-bit word */
#define AAC_RAW_FLOAT      2 /* 32-bit IEEE float, copied unchanged */

/* Base slot of each group of the sample-kernel table.  A conversion uses
 * base + raw format, a fade or mute uses base + channel count - 1. */
#define AAC_SK_SINGLE_TO_RAW    0
#define AAC_SK_SINGLE_FROM_RAW  3
#define AAC_SK_PAIR_TO_RAW      6
#define AAC_SK_PAIR_FROM_RAW    9
#define AAC_SK_DOWNMIX_TO_RAW  12
#define AAC_SK_DOWNMIX         15
#define AAC_SK_FADE_IN         16
#define AAC_SK_FADE_OUT        24
#define AAC_SK_MUTE            32
#define AAC_SK_COUNT           40

/* ------------------------------------------------------------------------ */
/* Slot states: the low 4 bits of the output block pointer                   */
/* ------------------------------------------------------------------------ */

#define AAC_SLOT_VALID  0  /* the block holds one new frame of output */
#define AAC_SLOT_LOST   1  /* the frame at this position was lost; samples not written */
#define AAC_SLOT_EMPTY 15  /* end of stream: no samples */
#define AAC_SLOT_STATE_MASK 15

/* ------------------------------------------------------------------------ */
/* Allocator hooks                                                           */
/* ------------------------------------------------------------------------ */

/* Process-wide allocation hooks.  calloc_func serves the decoder and pool
 * records, malloc_func every over-allocated aligned buffer (pool blocks,
 * frame workspaces, window sets), free_func every release (it must accept
 * null).  realloc_func is kept but never called. */
typedef struct aac_malloc_func_table {
    void *(AAC_CALL *malloc_func)(uint32_t size);
    void *(AAC_CALL *calloc_func)(uint32_t count, uint32_t size);
    void *(AAC_CALL *realloc_func)(void *block, uint32_t size);
    void  (AAC_CALL *free_func)(void *block);
} aac_malloc_func_table;

/* ------------------------------------------------------------------------ */
/* Block pool                                                                */
/* ------------------------------------------------------------------------ */

typedef struct aac_frame_alloc aac_frame_alloc;

/* The pool's operations.  The decoder reaches a pool only through its first
 * field, so a host may hand the decoder any object whose first field points
 * at a table of these three operations. */
typedef struct aac_frame_alloc_ops {
    /* Releases the blocks on the free list and the record; always 0. */
    aac_status (AAC_CALL *destroy)(aac_frame_alloc *pool);
    /* Hands out a block (the most recently returned one first, else a new
     * 16-byte aligned one); AAC_ERR_NO_MEMORY with *out untouched when a
     * block cannot be allocated. */
    aac_status (AAC_CALL *get)(aac_frame_alloc *pool, void **out);
    /* Takes a block back (null is ignored); always 0. */
    aac_status (AAC_CALL *put)(aac_frame_alloc *pool, void *block);
} aac_frame_alloc_ops;

struct aac_frame_alloc {
    const aac_frame_alloc_ops *ops;
    void *free_head;           /* first free block; its first word links the next */
    int32_t block_size;        /* bytes per block: units x 4096 */
    int32_t blocks_allocated;  /* blocks obtained from the allocator so far */
};

/* ------------------------------------------------------------------------ */
/* Element list handed to syn_elem_hook                                      */
/* ------------------------------------------------------------------------ */

/* Element ids of a raw_data_block. */
#define AAC_ID_SCE 0
#define AAC_ID_CPE 1
#define AAC_ID_CCE 2
#define AAC_ID_LFE 3
#define AAC_ID_DSE 4
#define AAC_ID_PCE 5
#define AAC_ID_FIL 6
#define AAC_ID_END 7

/* The element list is a sequence of words, one record per element in
 * stream order: {id, bit position of the element's 3-bit id}, and for a
 * CPE a third word, the bit position where the second channel's
 * individual_channel_stream begins.  An END record closes the list.  Bit 0
 * is the most significant bit of the frame's first byte. */
typedef int32_t aac_syn_elem;

/* ------------------------------------------------------------------------ */
/* Decoder records                                                           */
/* ------------------------------------------------------------------------ */

/* Creation record of aac_dec_create. */
typedef struct aac_dec_config {
    int32_t bytes_used;        /* out: bytes up to the end of the program_config_element */
    int32_t bit_offset;        /* in: leading bits of input_data to skip, 0..31 */
    int32_t reserved;
    int32_t input_size;        /* in: bytes of program_config_element data; <= 0: none */
    const uint8_t *input_data; /* in: program_config_element, starting at its instance tag */
    int32_t stream_flag;       /* in: 0 or 1 */
    int32_t profile;           /* in: 1 (AAC LC) */
    int32_t sampling_frequency_index; /* in: 0..11 */
    int32_t channel_configuration;    /* in: layout number 1..10 */
} aac_dec_config;

/* Binds the elements of a frame to element records of a workspace. */
typedef struct aac_element_map {
    int32_t use_instance_tags; /* 1: bind by element_instance_tag; 0: by order */
    int32_t num_sce;
    int32_t num_cpe;
    int32_t num_lfe;
    int32_t sce_offset[16];    /* byte offset of the record, or -1 */
    int32_t cpe_offset[16];
    int32_t lfe_offset[16];
} aac_element_map;

/* Band tables and TNS limits of the stream, filled at creation. */
typedef struct aac_stream_tables {
    uint32_t num_swb_long;
    const uint16_t *swb_end_long;  /* entry b: first coefficient after band b */
    uint32_t num_swb_short;
    const uint16_t *swb_end_short;
    uint32_t tns_max_order_long;
    uint32_t tns_max_order_short;
    uint32_t tns_max_bands_long;
    uint32_t tns_max_bands_short;
} aac_stream_tables;

typedef struct aac_decoder aac_decoder;
typedef struct aac_channel_gain aac_channel_gain; /* library-internal */

/* Called with the instance and the address of out_block whenever a block is
 * ready.  The low 4 bits of *block_slot carry the state (AAC_SLOT_*).  The
 * hook may take the block and store another one (16-byte aligned, at least
 * channels x 4096 bytes).  A negative result ends the decode call with it. */
typedef aac_status (AAC_CALL *aac_output_hook)(aac_decoder *dec, void **block_slot);

/* Called after each successfully parsed frame with the frame's element list,
 * which lives only for the call.  A negative result rejects the frame.
 * A frame whose last element runs into the eight zero bytes the parser
 * supplies past input_size still parses: its list then holds positions past
 * the frame and bytes_used exceeds input_size.  Check bytes_used <=
 * input_size before aac_calc_crc_syn_elems reads the frame's bytes. */
typedef aac_status (AAC_CALL *aac_syn_elem_hook)(aac_decoder *dec, const aac_syn_elem *list);

/* Instance record.  Fields marked host are written by the host after
 * creation; the rest belong to the library. */
struct aac_decoder {
    int32_t reserved0;         /* a marker of the library's own in HE-AAC decoders */
    int32_t bytes_used;        /* out: bytes used by the last parsed raw_data_block */
    int32_t bit_offset;        /* unused */
    int32_t reserved1;
    int32_t input_size;        /* host: size of the next frame; <= 0 ends the stream */
    const uint8_t *input_data; /* host: the next raw_data_block */
    int32_t stream_flag;
    int32_t profile;
    int32_t sampling_frequency_index;
    int32_t channel_configuration; /* layout number 1..10 */
    int32_t reserved2[4];
    float gain[8];             /* host: output gain per channel, read at the first decode call; 0 = off */
    aac_frame_alloc *pool;     /* host: where output blocks come from */
    aac_output_hook output_hook;     /* host */
    aac_syn_elem_hook syn_elem_hook; /* host */
    int32_t error_count;       /* out: frame errors concealed so far */
    int32_t conceal_errors;    /* host: > 0 turns error concealment on */
    int32_t reserved3[12];
    aac_element_map element_map;
    aac_stream_tables stream_tables;
    int32_t initialised;       /* frame resources set up */
    int32_t frame_open;        /* a frame is being worked on */
    uint32_t pns_state;        /* noise generator state */
    void *out_block;           /* current output block | slot state */
    void *cur_work;            /* frame workspaces | slot state */
    void *prev_work;
    aac_channel_gain *channel_gain[8]; /* window set per channel, null when off */
    void *work_alloc[2];       /* owned workspace allocations */
    void *gain_alloc[8];       /* owned window-set allocations */
};

/* ------------------------------------------------------------------------ */
/* HE-AAC: spectral band replication (SBR) and parametric stereo (PS)        */
/* ------------------------------------------------------------------------ */

/* A decoder made by aac_dec_create_he or aac_dec_create_asc is driven like
 * any other (aac_dec_decode, aac_dec_destroy, the same host fields and
 * hooks), with these differences:
 *   - an output block holds samples_per_block samples per channel (2048 at
 *     twice the core rate when SBR is decoded, else 1024), channel c at
 *     floats [samples_per_block * c, samples_per_block * (c + 1)), and at
 *     least block_bytes bytes (aac_output_format); pool units =
 *     block_bytes / 4096;
 *   - a mono core whose SBR data carries parametric stereo gives two output
 *     channels, whose gains are gain[0] and gain[1]; the intensity and
 *     coherence parameters are applied, the phase parameters (IPD/OPD) are
 *     read and skipped;
 *   - SBR rebuilds absolute energies, so the gains scale the output after
 *     it (the AAC core runs at the 16-bit scale whatever the gains);
 *   - the output's timeline is that of a standard decoding from the second
 *     frame on, as for AAC LC: call n delivers the output of frame n; frame 1
 *     is decoded completely (its SBR included) and its output dropped.
 * The format (rate, channels, samples per block) is fixed by the first frame
 * that parses: with implicit signalling, SBR and PS data found in it turn
 * SBR and PS on for the whole stream; data that first appears later is
 * skipped.  A frame whose SBR data is damaged keeps its core and repeats the
 * last good SBR data (aac_output_format.sbr_errors counts them); only
 * failures of the core frame itself are reported and concealed as lost. */

/* aac_he_config.sbr_mode */
#define AAC_SBR_OFF          0 /* AAC LC: fill elements skipped (as aac_dec_create) */
#define AAC_SBR_IMPLICIT     1 /* SBR data found in the first frame doubles the rate */
#define AAC_SBR_EXPLICIT     2 /* SBR announced: output at twice the core rate */
#define AAC_SBR_DOWNSAMPLED  3 /* SBR announced, output at the core rate (1024 samples) */

/* aac_he_config.ps_mode (mono cores only; other layouts ignore it) */
#define AAC_PS_OFF       0 /* one output channel; PS data skipped */
#define AAC_PS_IMPLICIT  1 /* PS data found in the first frame gives two channels */
#define AAC_PS_EXPLICIT  2 /* PS announced: two output channels */

/* Creation record of aac_dec_create_he: the core as for aac_dec_create
 * (profile 1, the core's sampling_frequency_index, a layout number or a
 * program_config_element; core.bytes_used is written back), then how SBR
 * and PS are signalled.  Explicit and downsampled SBR need a core index of 3
 * (48 kHz) or above; implicit SBR on a faster core stays off. */
typedef struct aac_he_config {
    aac_dec_config core;
    int32_t sbr_mode;          /* AAC_SBR_* */
    int32_t ps_mode;           /* AAC_PS_* */
} aac_he_config;

/* aac_dec_create_asc flags */
#define AAC_ASC_IMPLICIT 1     /* an LC configuration without SBR signalling may
                                  still carry SBR and PS in its frames */

/* What a decoder outputs.  Before the first frame has parsed, the fields
 * give the most the stream can become (fixed = 0); from then on the actual
 * format (fixed = 1).  block_bytes never changes. */
typedef struct aac_output_format {
    int32_t sample_rate;       /* output rate in Hz */
    int32_t core_sample_rate;  /* rate of the AAC core in Hz */
    int32_t channels;          /* output channels */
    int32_t samples_per_block; /* per channel: 1024 or 2048 */
    int32_t sbr;               /* 1: SBR is decoded */
    int32_t ps;                /* 1: parametric stereo turns the mono core into two channels */
    int32_t block_bytes;       /* bytes an output block must hold */
    int32_t fixed;             /* 1 once the first frame has fixed the format */
    int32_t object_type;       /* 2 (AAC LC), 5 (SBR), 29 (SBR and PS), as configured or found */
    int32_t sbr_errors;        /* SBR payloads concealed so far */
} aac_output_format;

/* ------------------------------------------------------------------------ */
/* Files                                                                     */
/* ------------------------------------------------------------------------ */

/* The file interface reads an ADTS stream or an MP4/M4A file (from a path,
 * from memory or through host hooks), decodes one of its audio tracks (AAC
 * LC, HE-AAC, HE-AAC v2) and hands out the presented samples as float:
 *   - ADTS has no timeline: the output starts with the output of frame 2
 *     (samples_per_block samples into a standard decoding, whose sample 0 is
 *     the first output sample of frame 1) and ends with the second half of
 *     the last frame;
 *   - MP4 presents its media from sample 0 to the end of the last sample's
 *     duration, or the span of its edit list (the first non-empty edit, after
 *     the silence of leading empty edits), on the output timeline.
 * Damaged frames are concealed (or end the read, with strict set) and
 * reported as warnings, one per run of damage.  Samples are at full scale
 * 1.0 times the configured gain, not clipped.
 *
 * Usage: aac_file_create, one aac_file_open_*, aac_file_get_info, then
 * aac_file_read until it returns 0, then aac_file_close.  A handle is used
 * by one thread at a time; separate handles are independent.  Every string
 * is owned by the handle and stays valid until the next open, scan or
 * close. */

typedef struct aac_file aac_file;

/* aac_file_info.container */
#define AAC_CONTAINER_ADTS 1
#define AAC_CONTAINER_MP4  2

/* aac_file_read flags */
#define AAC_READ_INTERLEAVED   0 /* frame after frame, channels in WAV order */
#define AAC_READ_PLANAR        1 /* channel c at buffer + c * frames */
#define AAC_READ_DECODER_ORDER 2 /* channels in the decoder's element order */

/* Creation record of aac_file_create; a null pointer takes the defaults
 * (every field 0). */
typedef struct aac_file_config {
    float gain;                /* scale of the output; 0 means 1.0 */
    int32_t strict;            /* 1: a damaged frame fails the read (AAC_ERR_CORRUPT_FRAME) */
    int32_t core_only;         /* 1: decode the AAC core only; SBR and PS data are skipped */
    int32_t reserved[5];       /* 0 */
} aac_file_config;

/* Host hooks of aac_file_open_io.  read returns the bytes read (0 at the
 * end, negative on failure).  seek (absolute) returns 0 or negative; size
 * returns the total length or a negative value when unknown.  With seek or
 * size null the source is read once, front to back: an MP4 file is then
 * copied to a temporary file first. */
typedef struct aac_file_io {
    int64_t (AAC_CALL *read)(void *opaque, void *buffer, int32_t size);
    int32_t (AAC_CALL *seek)(void *opaque, int64_t offset);
    int64_t (AAC_CALL *size)(void *opaque);
    void *opaque;
} aac_file_io;

/* What the opened track holds.  Counts are per channel; -1 is unknown. */
typedef struct aac_file_info {
    int64_t frames;            /* AAC frames (raw_data_blocks); ADTS: -1 until aac_file_scan */
    int64_t length;            /* samples aac_file_read delivers in all; -1 unknown */
    int64_t payload_bytes;     /* bytes of the frames in the file; -1 unknown */
    int64_t edit_start;        /* first presented sample of the standard decoding */
    int64_t edit_length;       /* samples the edit list presents from edit_start; -1 open */
    int64_t lead_silence;      /* silent samples before them (empty edits) */
    int64_t encoder_delay;     /* samples of encoder delay as the file declares it:
                                  the edit list's start, else an iTunSMPB tag;
                                  -1 when it declares none */
    int32_t container;         /* AAC_CONTAINER_* */
    int32_t object_type;       /* 2 AAC LC, 5 HE-AAC, 29 HE-AAC v2 (what is decoded) */
    int32_t core_sample_rate;  /* Hz */
    int32_t sample_rate;       /* Hz, of the output */
    int32_t channels;          /* of the output */
    int32_t layout;            /* the decoder's layout number 1..10 (0: none) */
    uint32_t channel_mask;     /* WAVE_FORMAT_EXTENSIBLE speaker bits in WAV order */
    int32_t samples_per_block; /* per decoded frame: 1024 or 2048 */
    int32_t track;             /* the chosen audio track, from 1 */
    int32_t track_count;       /* audio tracks (1 for ADTS) */
    int32_t edit_list;         /* 1: an edit list is applied */
    int32_t decodable;         /* 0: see unsupported; aac_file_read fails */
    const char *container_name;/* e.g. "ADTS (MPEG-4)", "MP4", "MP4, fragmented" */
    const char *codec_name;    /* e.g. "AAC LC", "HE-AAC", "HE-AAC v2" */
    const char *layout_name;   /* e.g. "stereo", "5.1"; "" without a layout */
    const char *speakers;      /* decoder channel order, e.g. "C L R Ls Rs LFE" */
    const char *unsupported;   /* why the track cannot be decoded, else "" */
    const char *title;         /* tags; "" when absent */
    const char *artist;
    const char *album;
    const char *encoder;
} aac_file_info;

/* One audio track of the file, for choosing among several. */
typedef struct aac_file_track {
    double seconds;            /* media length by the sample durations */
    int64_t frames;
    int32_t id;                /* the container's track id */
    int32_t object_type;       /* as configured, 0 when not AAC */
    int32_t sample_rate;       /* Hz, as configured (the core rate for implicit SBR) */
    int32_t channels;
    const char *codec_name;
} aac_file_track;

/* Progress of a decoding. */
typedef struct aac_file_stats {
    int64_t frames;            /* frames handed to the decoder */
    int64_t lost_frames;       /* of them, concealed as lost */
    int64_t samples;           /* per channel, delivered so far */
    int32_t warnings;          /* warnings so far (aac_file_warning) */
    int32_t reserved;
} aac_file_stats;

/* A handle with nothing open; config is copied (null: defaults).
 * AAC_ERR_ARGUMENT for a null out or nonzero reserved fields,
 * AAC_ERR_NO_MEMORY. */
AAC_API aac_status AAC_CALL aac_file_create(aac_file **out, const aac_file_config *config);
/* Closes what is open and releases the handle; null is ignored. */
AAC_API void AAC_CALL aac_file_close(aac_file *file);

/* Opening recognises the container, reads its structure, chooses audio
 * track `track` (from 1; 0 is the first; ADTS takes 0 or 1 only) and sets
 * the decoder up.  A track that cannot be decoded still opens (decodable 0).
 * Opening again replaces what was open.  Failures: AAC_ERR_IO,
 * AAC_ERR_FORMAT, AAC_ERR_NO_TRACK, AAC_ERR_ARGUMENT, AAC_ERR_NO_MEMORY;
 * aac_file_error says why. */
AAC_API aac_status AAC_CALL aac_file_open_path(aac_file *file, const char *path, int32_t track);
/* The size bytes at data are copied. */
AAC_API aac_status AAC_CALL aac_file_open_memory(aac_file *file, const void *data, int64_t size,
                                                 int32_t track);
/* The hooks are copied; opaque is passed to them until close. */
AAC_API aac_status AAC_CALL aac_file_open_io(aac_file *file, const aac_file_io *io, int32_t track);

/* Fills *info with the open track's description (AAC_ERR_ARGUMENT when
 * nothing is open). */
AAC_API aac_status AAC_CALL aac_file_get_info(aac_file *file, aac_file_info *info);
/* Track index 1..track_count of the file. */
AAC_API aac_status AAC_CALL aac_file_get_track(aac_file *file, int32_t index,
                                               aac_file_track *track);
/* Tags by index from 0: name and value owned by the handle; AAC_ERR_ARGUMENT
 * past the last. */
AAC_API aac_status AAC_CALL aac_file_get_tag(aac_file *file, int32_t index, const char **name,
                                             const char **value);
/* Reads an ADTS stream to its end to count its frames and bytes, which
 * completes frames, length and payload_bytes of the info, then starts
 * reading over.  Needs a source that can seek (a path, memory or hooks with
 * seek); otherwise, and for MP4, it changes nothing. */
AAC_API aac_status AAC_CALL aac_file_scan(aac_file *file);

/* Decodes and writes up to `frames` samples per channel to buffer (frames x
 * channels floats, laid out by flags: AAC_READ_*).  Returns the count
 * written, 0 at the end, or a negative aac_status: AAC_ERR_CORRUPT_FRAME
 * for damage with strict set, AAC_ERR_IO, AAC_ERR_BAD_STREAM for a track
 * that cannot be decoded, AAC_ERR_NO_MEMORY.  After a failure the handle
 * only reports and closes. */
AAC_API int32_t AAC_CALL aac_file_read(aac_file *file, float *buffer, int32_t frames,
                                       int32_t flags);
/* Frames, lost frames, samples and warnings so far. */
AAC_API aac_status AAC_CALL aac_file_get_stats(aac_file *file, aac_file_stats *stats);
/* Share of the input consumed so far, 0..1, or negative when unknown. */
AAC_API double AAC_CALL aac_file_progress(aac_file *file);

/* The message of the last failure, "" when none (never null, also for a
 * null handle). */
AAC_API const char *AAC_CALL aac_file_error(aac_file *file);
/* Warning index from 0 (null past the last): damage found while opening
 * and reading, e.g. "frames 12 to 14: damaged frame (3 times); decoded as
 * silence". */
AAC_API const char *AAC_CALL aac_file_warning(aac_file *file, int32_t index);

/* ------------------------------------------------------------------------ */
/* Exports                                                                   */
/* ------------------------------------------------------------------------ */

/* Decoder. */
AAC_API aac_status AAC_CALL aac_dec_create(aac_decoder **out, aac_dec_config *config);
AAC_API aac_status AAC_CALL aac_dec_destroy(aac_decoder *dec);
AAC_API aac_status AAC_CALL aac_dec_decode(aac_decoder *dec);

/* HE-AAC decoders.  aac_dec_create_he fails as aac_dec_create does, and with
 * AAC_ERR_BAD_STREAM for an unknown mode or explicit SBR on a core above
 * 48 kHz.  aac_dec_create_asc reads an AudioSpecificConfig of size bytes:
 * object type 2 (AAC LC), 5 (SBR) or 29 (SBR and PS) with a core of type 2,
 * the backward-compatible sync extensions 0x2B7 (SBR) and 0x548 (PS), an
 * extension rate equal to the core rate (downsampled SBR), and a
 * program_config_element for channel configuration 0; anything else is
 * AAC_ERR_BAD_STREAM, data that ends early AAC_ERR_CORRUPT_FRAME.
 * aac_dec_get_format works on every decoder (for one made by aac_dec_create:
 * AAC LC, fixed); it returns AAC_ERR_BAD_STREAM for a null argument. */
AAC_API aac_status AAC_CALL aac_dec_create_he(aac_decoder **out, aac_he_config *config);
AAC_API aac_status AAC_CALL aac_dec_create_asc(aac_decoder **out, const uint8_t *asc,
                                               int32_t size, int32_t flags);
AAC_API aac_status AAC_CALL aac_dec_get_format(const aac_decoder *dec, aac_output_format *format);

/* Encoder entry points: encoding is not supported; each returns
 * AAC_ERR_UNSUPPORTED whatever it is passed. */
AAC_API aac_status AAC_CALL aac_enc_create(void *out, const void *config);
AAC_API aac_status AAC_CALL aac_enc_destroy(void *encoder);
AAC_API aac_status AAC_CALL aac_enc_encode(void *encoder);

/* Block pool of blocks of units x 4096 bytes.  units must lie in
 * 1..AAC_FRAME_ALLOC_MAX_UNITS; other values, and a null out, are refused
 * with AAC_ERR_BAD_STREAM. */
#define AAC_FRAME_ALLOC_MAX_UNITS 0x7FFFF
AAC_API aac_status AAC_CALL aac_frame_alloc_create(aac_frame_alloc **out, int32_t units);

/* CRC-16 of the AAC error check (polynomial 0x8005, MSB first, no
 * reflection, no final inversion), continued from crc.  Null data, list or
 * frame pointers leave crc unchanged. */
AAC_API uint16_t AAC_CALL aac_calc_crc_bytes(uint16_t crc, int32_t count, const uint8_t *data);
AAC_API uint16_t AAC_CALL aac_calc_crc_syn_elems(uint16_t crc, const aac_syn_elem *list,
                                                 const uint8_t *frame);

/* Process-wide settings: set them before other threads use the library.
 * The allocator table is copied; null restores the standard allocator.  Set
 * it while no decoder or pool exists, since releases go through the table
 * in force at release time. */
AAC_API void AAC_CALL aac_set_malloc_func_table(const aac_malloc_func_table *table);
AAC_API void AAC_CALL aac_set_debug_trace(int32_t a, int32_t b, int32_t c);

/* Sample services, one frame of 1024 samples per channel.  Float buffers are
 * planar; raw buffers interleave the pair.  Buffers handed to the to-raw,
 * downmix and fade exports start on a 16-byte boundary.  format is one of
 * AAC_RAW_*, channels 1..8; with any other value the call does nothing. */
AAC_API void AAC_CALL aac_convert_single_to_raw(const float *pcm, void *raw, int32_t format);
AAC_API void AAC_CALL aac_convert_single_from_raw(float *pcm, const void *raw, int32_t format);
AAC_API void AAC_CALL aac_convert_pair_to_raw(const float *pcm, void *raw, int32_t format);
AAC_API void AAC_CALL aac_convert_pair_from_raw(float *pcm, const void *raw, int32_t format);
AAC_API void AAC_CALL aac_downmix_3_2_to_pair(const float *pcm5, float *pair);
AAC_API void AAC_CALL aac_downmix_3_2_to_pair_raw(const float *pcm5, void *raw, int32_t format);
AAC_API void AAC_CALL aac_fade_in_channels(float *pcm, int32_t channels);
AAC_API void AAC_CALL aac_fade_out_channels(float *pcm, int32_t channels);
AAC_API void AAC_CALL aac_mute_channels(float *pcm, int32_t channels);

#ifdef __cplusplus
}
#endif

#endif /* LUMDEC_H */
