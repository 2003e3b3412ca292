// The LZ decoder on arbitrary streams, codec type 0 and then type 1 with the
// same context, so the second decode starts from the scratch bytes the first
// one left. Those matter only once a read fails at the end of the stream;
// before that both decodes read the same commands, so when the first one
// never read past the end, the second must read as far and give the first's
// output widened to 4bpp. A stream that runs past its end repeats its last
// command up to the 0x10000-byte bound, the costliest input there is: of
// those, only the ones of odd length are decoded a second time, which keeps
// half of them for the scratch bytes carried from one decode to the next.
// The output bound is checked in decode().

#include <algorithm>
#include <cstring>

#include "codec/bitplane.h"
#include "codec/lz_codec.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Bytes widened(kCodecBufferSize);
    const Bytes stream(data, data + size);
    DecodeContext context;
    const Decoded first = decode(stream, decodeLzSheet, 0, context);
    FUZZ_CHECK(first.read <= size && (first.read == size || !context.cutOff));
    if (context.cutOff) {
        if (size % 2 == 1) {
            decode(stream, decodeLzSheet, 1, context);
        }
        return 0;
    }
    std::fill(std::copy_n(first.bytes, first.length, widened.begin()), widened.end(), std::uint8_t{0});
    const std::uint32_t widenedLength = expandTiles3To4(widened.data(), first.length);
    const Decoded second = decode(stream, decodeLzSheet, 1, context);
    FUZZ_CHECK(second.read == first.read && !context.cutOff && second.length == widenedLength &&
               std::memcmp(widened.data(), second.bytes, widenedLength) == 0);
    return 0;
}
