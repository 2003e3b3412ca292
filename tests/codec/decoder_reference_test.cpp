// The decoders against the plain reference decoders (reference_decoders.h).
// Output, lengths, the bytes read, the cut-off mark and the scratch bytes must
// all agree, also for streams that end inside a command and with scratch
// bytes carried over from an earlier decode.

#include <gtest/gtest.h>

#include <cstdint>

#include "codec/lz_codec.h"
#include "codec/run_length.h"
#include "codec_test_support.h"
#include "reference_decoders.h"

namespace {

using reference::Reference;
using reference::referenceLz;
using reference::referenceRunLength;

// Streams that exercise every command and end anywhere: a run of commands
// with arguments drawn from a small alphabet, cut at a random length.
Bytes randomStream(TestRandom& random, bool runLength)
{
    Bytes stream;
    const std::uint32_t commands = random.below(6) + 1;
    for (std::uint32_t c = 0; c < commands; ++c) {
        const std::uint8_t header = runLength ? random.byte() : static_cast<std::uint8_t>(random.below(0xFF));
        stream.push_back(header);
        const std::uint32_t arguments = random.below(4);
        for (std::uint32_t k = 0; k < arguments; ++k) {
            stream.push_back(static_cast<std::uint8_t>(random.below(4)));
        }
    }
    stream.resize(random.below(static_cast<std::uint32_t>(stream.size()) + 1));
    return stream;
}

void expectSameAsReference(DecodeFunction decode, const Bytes& stream, std::uint32_t codecType,
                           DecodeContext& context, Reference& reference, std::uint32_t trial)
{
    const DecodeRun run = runDecoder(decode, stream, context, codecType);
    ASSERT_EQ(run.length, reference.length) << "trial " << trial;
    ASSERT_EQ(run.buffer, reference.output) << "trial " << trial;
    ASSERT_EQ(static_cast<std::uint32_t>(run.streamPosition), reference.read) << "trial " << trial;
    ASSERT_EQ(context.cutOff, reference.cutOff) << "trial " << trial;
    ASSERT_EQ(context.header, reference.header) << "trial " << trial;
    ASSERT_EQ(context.firstArgument, reference.first) << "trial " << trial;
    if (codecType < 2) {
        ASSERT_EQ(context.secondHeader, reference.secondHeader) << "trial " << trial;
        ASSERT_EQ(context.secondArgument, reference.second) << "trial " << trial;
    }
}

// The reference LZ decode of `stream`, starting from the scratch bytes that
// `context` holds (which equal the reference's after every matching decode).
Reference referenceLzFrom(const Bytes& stream, const DecodeContext& context)
{
    Reference reference{stream};
    reference.header = context.header;
    reference.secondHeader = context.secondHeader;
    reference.first = context.firstArgument;
    reference.second = context.secondArgument;
    referenceLz(reference);
    return reference;
}

TEST(DecoderReference, LzStreamsCutOffAnywhereDecodeAsByteByByteReads)
{
    TestRandom random(0x5EED);
    DecodeContext context;  // scratch bytes carried from trial to trial
    for (std::uint32_t trial = 0; trial < 1500; ++trial) {
        const Bytes stream = randomStream(random, false);
        Reference reference = referenceLzFrom(stream, context);
        expectSameAsReference(decodeLzStream, stream, 0, context, reference, trial);
    }
}

TEST(DecoderReference, RunLengthStreamsCutOffAnywhereDecodeAsByteByByteReads)
{
    TestRandom random(0xB10C);
    for (const bool block : {false, true}) {
        DecodeContext context;
        std::uint8_t header = 0;
        std::uint8_t first = 0;
        for (std::uint32_t trial = 0; trial < 1500; ++trial) {
            const Bytes stream = randomStream(random, true);
            Reference reference{stream};
            reference.header = header;
            reference.first = first;
            referenceRunLength(reference, block);
            expectSameAsReference(block ? decodeRunLengthBlock : decodeRunLengthSheet, stream, block ? 3 : 2,
                                  context, reference, trial);
            header = reference.header;
            first = reference.first;
        }
    }
}

// Copies from every distance around the write position: far behind, behind
// by less than their length (a repeating pattern of every period), at it, and
// ahead of it into bytes still zero, short and extended lengths.
TEST(DecoderReference, LzCopiesFromEveryDistanceRepeatAsByteByByteCopies)
{
    DecodeContext context;
    for (const std::uint32_t literals : {1u, 7u, 32u}) {
        for (std::uint32_t source = 0; source < literals + 40; ++source) {
            for (const std::uint32_t length : {1u, 2u, 5u, 31u, 32u, 33u, 100u, 1000u}) {
                Bytes stream{static_cast<std::uint8_t>(literals - 1)};
                for (std::uint32_t k = 0; k < literals; ++k) {
                    stream.push_back(static_cast<std::uint8_t>(0x11 * (k + 1) + k / 15));
                }
                if (length <= 32) {
                    stream.push_back(static_cast<std::uint8_t>(0x80 | (length - 1)));
                } else {
                    stream.push_back(static_cast<std::uint8_t>(0xF0 | (length - 1) >> 8));
                    stream.push_back(static_cast<std::uint8_t>(length - 1));
                }
                stream.push_back(static_cast<std::uint8_t>(source));
                stream.push_back(static_cast<std::uint8_t>(source >> 8));
                stream.push_back(0xFF);
                Reference reference = referenceLzFrom(stream, context);
                expectSameAsReference(decodeLzStream, stream, 0, context, reference, source * 10000 + length);
            }
        }
    }
}

}  // namespace
