// The frame pipeline, the start state and the change between the 20- and
// the 34-band configuration.
#include <cstring>
#include <initializer_list>

#include "ps/ps_layout.h"
#include "ps/ps_params.h"

namespace lumdec {

namespace {

// Matrices per parameter band from the last applied parameters.
void matrices_from_applied(ps_state *ps, const ps_layout &layout)
{
    for (int b = 0; b < layout.config; b++) {
        const float *m =
            ps_matrix(ps->last_mixing_b, ps->last_fine_iid, ps->applied_iid[b], ps->applied_icc[b]);
        for (int r = 0; r < 4; r++)
            ps->h_par[r][b] = m[r];
    }
}

// Moves the columns of the unsplit QMF bands first..end-1 of each row to
// where the other layout keeps them and clears the rest of the row.
template <size_t Rows, size_t Columns>
void move_columns(float (&rows)[Rows][Columns], const ps_layout &from, const ps_layout &to, int first, int end)
{
    const size_t count = static_cast<size_t>(end - first);
    for (auto &row : rows) {
        std::memmove(row + ps_unsplit_band(to, first), row + ps_unsplit_band(from, first), count * sizeof(float));
        std::memset(row, 0, static_cast<size_t>(ps_unsplit_band(to, first)) * sizeof(float));
        const size_t above = static_cast<size_t>(ps_unsplit_band(to, end));
        std::memset(row + above, 0, (Columns - above) * sizeof(float));
    }
}

// The delay lines of the bands that both layouts leave unsplit move with
// their bands; those of the sub-subbands start from silence.  Matrices and
// transient levels are carried over through the parameter maps.
void change_config(ps_state *ps, int config)
{
    const ps_layout &from = ps_layout_of(ps->config), &to = ps_layout_of(config);
    move_columns(ps->s_re, from, to, PS_SPLIT_BANDS, 64);
    move_columns(ps->s_im, from, to, PS_SPLIT_BANDS, 64);
    for (int m = 0; m < PS_NUM_LINKS; m++) {
        move_columns(ps->link_re[m], from, to, PS_SPLIT_BANDS, 23);
        move_columns(ps->link_im[m], from, to, PS_SPLIT_BANDS, 23);
    }
    int8_t mapped[PS_MAX_PAR_BANDS];
    ps_map_index_base(ps->applied_iid, from.config, mapped, to.config);
    std::memcpy(ps->applied_iid, mapped, sizeof mapped);
    ps_map_index_base(ps->applied_icc, from.config, mapped, to.config);
    std::memcpy(ps->applied_icc, mapped, sizeof mapped);
    matrices_from_applied(ps, to);
    for (float *level : {ps->peak_decay, ps->power_smooth, ps->diff_smooth}) {
        float moved[PS_MAX_PAR_BANDS];
        ps_map_float(level, from.config, moved, to.config);
        std::memcpy(level, moved, sizeof moved);
    }
    ps->config = static_cast<uint8_t>(config);
}

// The last rows of the frame become the history of the next.
template <size_t Rows, size_t Columns>
void keep_history(float (&rows)[Rows][Columns], int history, int num_slots)
{
    std::memmove(rows[0], rows[num_slots], static_cast<size_t>(history) * sizeof rows[0]);
}

}  // namespace

void ps_reset(ps_state *ps)
{
    std::memset(ps, 0, sizeof *ps);
    ps->config = 20;
    matrices_from_applied(ps, ps_layout_of(20));
}

void ps_apply(ps_state *ps, float (*x_re)[64], float (*x_im)[64], float (*y_re)[64], float (*y_im)[64],
              int num_slots)
{
    const ps_frame &f = ps->frame;
    if (f.present && f.num_env > 0) {
        const int config = f.iid_bands == 34 || f.icc_bands == 34 ? 34 : 20;
        if (config != ps->config)
            change_config(ps, config);
    }
    const ps_layout &layout = ps_layout_of(ps->config);
    ps_hybrid_analysis(ps, layout, x_re, x_im, num_slots);
    ps_decorrelate(ps, layout, num_slots);
    ps_mix(ps, layout, x_re, x_im, y_re, y_im, num_slots);
    ps->frame.present = 0;

    keep_history(ps->s_re, PS_LONG_DELAY, num_slots);
    keep_history(ps->s_im, PS_LONG_DELAY, num_slots);
    for (int m = 0; m < PS_NUM_LINKS; m++) {
        keep_history(ps->link_re[m], PS_MAX_LINK_DELAY, num_slots);
        keep_history(ps->link_im[m], PS_MAX_LINK_DELAY, num_slots);
    }
}

}  // namespace lumdec
