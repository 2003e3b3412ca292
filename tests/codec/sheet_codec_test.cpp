// The one dispatch by codec type, for every type the walks can meet.

#include "codec/sheet_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "codec_test_support.h"

namespace {

// Encodes `input` through the dispatch and decodes the stream back through it.
struct RoundTrip {
    bool ok = false;
    std::uint32_t streamLength = 0;
    Bytes decoded;
};

RoundTrip throughDispatch(const Bytes& input, SheetCodecType type)
{
    RoundTrip result;
    Bytes work = input;
    Bytes stream(kCodecBufferSize);
    EncodeContext encode;
    startEncode(encode, work.data(), static_cast<std::uint32_t>(work.size()), type, stream.data());
    encodeSheetStream(encode);
    result.ok = encode.ok;
    result.streamLength = encode.outputLength;

    Bytes output(kCodecBufferSize, 0);
    DecodeContext decode;
    startDecode(decode, stream.data(), encode.outputLength, output.data(), type);
    decodeSheetStream(decode);
    result.decoded.assign(output.begin(), output.begin() + decode.outputLength);
    // The stream is read to its end, and not a byte further.
    EXPECT_EQ(decode.inputRead, encode.outputLength);
    return result;
}

TEST(SheetCodecDispatch, EveryTypeRoundTripsAndATypeWithoutACodecDoesNothing)
{
    TestRandom random(21);
    // A sheet with runs, so that every codec has something to do.
    Bytes sheet;
    while (sheet.size() < 0x8000) {
        const Bytes piece = random.below(2) == 0 ? Bytes(random.below(40) + 1, random.byte()) : random.bytes(5);
        sheet.insert(sheet.end(), piece.begin(), piece.end());
    }
    sheet.resize(0x8000);

    const RoundTrip lz = throughDispatch(sheet, LzSheet);
    EXPECT_TRUE(lz.ok);
    EXPECT_EQ(lz.decoded, sheet);
    // Type 1 drops plane 3 on the way in and puts zeros back on the way out.
    const RoundTrip lz3 = throughDispatch(Bytes(2048, 0x5A), LzSheet3bpp);
    Bytes widened(2048, 0x5A);
    for (std::size_t k = 0; k < widened.size(); ++k) {
        if (k % 32 >= 16 && k % 2 == 1) {
            widened[k] = 0;
        }
    }
    EXPECT_TRUE(lz3.ok);
    EXPECT_EQ(lz3.decoded, widened);
    const RoundTrip runs = throughDispatch(sheet, RunLengthSheet);
    EXPECT_TRUE(runs.ok);
    EXPECT_EQ(runs.decoded, sheet);
    const RoundTrip block = throughDispatch(sheet, RunLengthBlock);
    EXPECT_TRUE(block.ok);
    EXPECT_EQ(block.decoded, sheet);
    // Type 2 is type 3 with its end marker (this sheet has no long 0xFF run).
    EXPECT_EQ(runs.streamLength, block.streamLength + 2);

    const RoundTrip none = throughDispatch(sheet, static_cast<SheetCodecType>(4));
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.streamLength, 0u);
    EXPECT_TRUE(none.decoded.empty());
}

}  // namespace
