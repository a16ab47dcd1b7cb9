// Checks outputs by decoding them with libmpg123.
//   mp3check FILE...                 each file decodes cleanly (resynchronisation off)
//   mp3check --joins SOURCE PART...  the parts, played gaplessly one after the other, are the
//                                    source sample for sample
// Exits non-zero when a check fails. The benchmark checks its outputs with it.
#include "Decode.h"

#include <cstdio>
#include <cstring>

using namespace mp3core;

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--joins") == 0) {
        const std::vector<int16_t> source = GaplessSamples(argv[2]);
        std::vector<int16_t> joined;
        for (int i = 3; i < argc; ++i) {
            const std::vector<int16_t> part = GaplessSamples(argv[i]);
            joined.insert(joined.end(), part.begin(), part.end());
        }
        size_t differing = 0;
        for (size_t i = 0; i < std::min(source.size(), joined.size()); ++i) {
            differing += source[i] != joined[i] ? 1 : 0;
        }
        std::printf("%s: %zu samples, the parts %zu, %zu differ\n", argv[2], source.size(),
                    joined.size(), differing);
        return source.empty() || source.size() != joined.size() || differing != 0 ? 1 : 0;
    }
    int bad = 0;
    for (int i = 1; i < argc; ++i) {
        const TDecodeResult d = DecodeFile(argv[i]);
        const bool clean = d.opened && d.errors == 0;
        std::printf("%s: %ld frames, %ld errors%s%s\n", argv[i], d.frames, d.errors,
                    d.message.empty() ? "" : ": ", d.message.c_str());
        bad += clean ? 0 : 1;
    }
    return bad == 0 ? 0 : 1;
}
