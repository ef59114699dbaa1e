// A polka in 2/4 for accordion, tuba and a light kit, rendered sample by sample.
//
// Form: strain A in G major, played twice (the second time ending on G7), then a more legato
// trio strain B in C major with a harmony voice in thirds, played twice (the second time turning
// to D7, which leads back to the top). Every voice is added into circular buffers one loop long,
// so whatever rings past the last frame lands at the start; the filters run over the loop twice
// and keep the second pass, so their state at the seam is the state the loop itself leaves.
#include "tools/soundtrack/soundtrack.h"
#include "tools/soundtrack/score.h"

std::vector<std::int16_t> render_soundtrack() {
    synth::Score score;
    if (!synth::build_score(score)) {
        return {};
    }
    const synth::Tables tables = synth::make_tables();
    synth::Mix mix = synth::silent_mix();
    synth::render_accompaniment(mix, tables, score);
    synth::render_melody(mix, tables, score);
    synth::render_drums(mix);
    synth::add_room(mix);
    synth::block_dc(mix.left);
    synth::block_dc(mix.right);
    return synth::mix_samples(mix);
}
