// Decodes each file named with resynchronisation off and prints its frames and errors; exits
// non-zero when a file does not decode cleanly. The benchmark checks outputs with it.
#include "Decode.h"

#include <cstdio>

int main(int argc, char **argv)
{
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
