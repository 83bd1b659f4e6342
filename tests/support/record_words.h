/* The records that cross the library's boundary, word by word, as a 32-bit
 * x86 host lays them out: every 32-bit field and every pointer one word, an
 * array as many words as it has entries.  For C and C++ tests alike.
 *
 * LUMDEC_RECORD_FIELDS(F) calls F(record, field, word offset);
 * LUMDEC_RECORD_SIZES(S) calls S(record, size in words). */
#ifndef LUMDEC_RECORD_WORDS_H
#define LUMDEC_RECORD_WORDS_H

#define LUMDEC_RECORD_FIELDS(F)                        \
    F(aac_malloc_func_table, malloc_func, 0)           \
    F(aac_malloc_func_table, calloc_func, 1)           \
    F(aac_malloc_func_table, realloc_func, 2)          \
    F(aac_malloc_func_table, free_func, 3)             \
    F(aac_frame_alloc_ops, destroy, 0)                 \
    F(aac_frame_alloc_ops, get, 1)                     \
    F(aac_frame_alloc_ops, put, 2)                     \
    F(aac_frame_alloc, ops, 0)                         \
    F(aac_frame_alloc, free_head, 1)                   \
    F(aac_frame_alloc, block_size, 2)                  \
    F(aac_frame_alloc, blocks_allocated, 3)            \
    F(aac_dec_config, bytes_used, 0)                   \
    F(aac_dec_config, bit_offset, 1)                   \
    F(aac_dec_config, reserved, 2)                     \
    F(aac_dec_config, input_size, 3)                   \
    F(aac_dec_config, input_data, 4)                   \
    F(aac_dec_config, stream_flag, 5)                  \
    F(aac_dec_config, profile, 6)                      \
    F(aac_dec_config, sampling_frequency_index, 7)     \
    F(aac_dec_config, channel_configuration, 8)        \
    F(aac_element_map, use_instance_tags, 0)           \
    F(aac_element_map, num_sce, 1)                     \
    F(aac_element_map, num_cpe, 2)                     \
    F(aac_element_map, num_lfe, 3)                     \
    F(aac_element_map, sce_offset, 4)                  \
    F(aac_element_map, cpe_offset, 20)                 \
    F(aac_element_map, lfe_offset, 36)                 \
    F(aac_stream_tables, num_swb_long, 0)              \
    F(aac_stream_tables, swb_end_long, 1)              \
    F(aac_stream_tables, num_swb_short, 2)             \
    F(aac_stream_tables, swb_end_short, 3)             \
    F(aac_stream_tables, tns_max_order_long, 4)        \
    F(aac_stream_tables, tns_max_order_short, 5)       \
    F(aac_stream_tables, tns_max_bands_long, 6)        \
    F(aac_stream_tables, tns_max_bands_short, 7)       \
    F(aac_decoder, reserved0, 0)                       \
    F(aac_decoder, bytes_used, 1)                      \
    F(aac_decoder, bit_offset, 2)                      \
    F(aac_decoder, reserved1, 3)                       \
    F(aac_decoder, input_size, 4)                      \
    F(aac_decoder, input_data, 5)                      \
    F(aac_decoder, stream_flag, 6)                     \
    F(aac_decoder, profile, 7)                         \
    F(aac_decoder, sampling_frequency_index, 8)        \
    F(aac_decoder, channel_configuration, 9)           \
    F(aac_decoder, reserved2, 10)                      \
    F(aac_decoder, gain, 14)                           \
    F(aac_decoder, pool, 22)                           \
    F(aac_decoder, output_hook, 23)                    \
    F(aac_decoder, syn_elem_hook, 24)                  \
    F(aac_decoder, error_count, 25)                    \
    F(aac_decoder, conceal_errors, 26)                 \
    F(aac_decoder, reserved3, 27)                      \
    F(aac_decoder, element_map, 39)                    \
    F(aac_decoder, stream_tables, 91)                  \
    F(aac_decoder, initialised, 99)                    \
    F(aac_decoder, frame_open, 100)                    \
    F(aac_decoder, pns_state, 101)                     \
    F(aac_decoder, out_block, 102)                     \
    F(aac_decoder, cur_work, 103)                      \
    F(aac_decoder, prev_work, 104)                     \
    F(aac_decoder, channel_gain, 105)                  \
    F(aac_decoder, work_alloc, 113)                    \
    F(aac_decoder, gain_alloc, 115)                    \
    F(aac_he_config, core, 0)                          \
    F(aac_he_config, sbr_mode, 9)                      \
    F(aac_he_config, ps_mode, 10)                      \
    F(aac_output_format, sample_rate, 0)               \
    F(aac_output_format, core_sample_rate, 1)          \
    F(aac_output_format, channels, 2)                  \
    F(aac_output_format, samples_per_block, 3)         \
    F(aac_output_format, sbr, 4)                       \
    F(aac_output_format, ps, 5)                        \
    F(aac_output_format, block_bytes, 6)               \
    F(aac_output_format, fixed, 7)                     \
    F(aac_output_format, object_type, 8)               \
    F(aac_output_format, sbr_errors, 9)

#define LUMDEC_RECORD_SIZES(S)      \
    S(aac_malloc_func_table, 4)     \
    S(aac_frame_alloc_ops, 3)       \
    S(aac_frame_alloc, 4)           \
    S(aac_syn_elem, 1)              \
    S(aac_dec_config, 9)            \
    S(aac_element_map, 52)          \
    S(aac_stream_tables, 8)         \
    S(aac_decoder, 123)             \
    S(aac_he_config, 11)            \
    S(aac_output_format, 10)

#endif
