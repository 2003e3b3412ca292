#include "codec/run_length.h"

#include <cstring>

#include "codec/codec_limits.h"
#include "codec/encode_output.h"
#include "codec/stream_read.h"

// Both formats are a sequence of packets, each starting with a header h:
//   0x00-0x7F  literal: h + 1 bytes follow (1-128), copied as they stand
//   0x80-0xFF  run: one value byte v follows, (h & 0x7F) + 1 copies of v
// Type 2 closes the packets with FF FF; type 3 has no end marker and always
// stands for one block of 0x8000 bytes.

namespace {

constexpr std::uint8_t kRunBit = 0x80;
constexpr std::uint8_t kEndMarkerByte = 0xFF;
constexpr std::uint32_t kMaxPacketLength = 128;
constexpr std::uint32_t kBlockSize = 0x8000;
constexpr std::uint32_t kMinRunLength = 3;

enum class RunLengthFormat { Sheet, Block };

// How many times the packet at hand is stored. Once the stream is at its end
// every later read fails, so every later packet repeats this one with the same
// header and value: they are all stored at once, as many as the bounds would
// let through one by one. Where an FF FF run is next read as the end marker,
// the packet is stored once.
std::uint32_t repeatsOfPacket(const DecodeContext& context, RunLengthFormat format, std::uint32_t length)
{
    if (!atStreamEnd(context)) {
        return 1;
    }
    if (format == RunLengthFormat::Block) {
        // Below the block size before each packet; the one that reaches it is the last.
        return (kBlockSize - context.outputLength + length - 1) / length;
    }
    if (context.header == kEndMarkerByte && context.firstArgument == kEndMarkerByte) {
        return 1;
    }
    return repeatsAtStreamEnd(context, length);
}

// One pass per packet. Returns when the running flag is cleared: at the type-2
// end marker, at the block size (type 3), or at the 0x10000 bound.
void decodePackets(DecodeContext& context, RunLengthFormat format)
{
    while (context.running) {
        readByte(context, context.header);
        std::uint32_t length = 0;
        std::uint32_t repeats = 1;
        if ((context.header & kRunBit) != 0) {
            readByte(context, context.firstArgument);
            // FF FF ends a type-2 stream only where a packet begins and after at
            // least one byte: as the first packet it is a run of 128 bytes of FF.
            if (format == RunLengthFormat::Sheet && context.header == kEndMarkerByte &&
                context.firstArgument == kEndMarkerByte && context.outputLength != 0) {
                context.running = false;
                return;
            }
            length = (context.header & 0x7FU) + 1;
            if (context.outputLength + length > kCodecBufferSize) {
                context.running = false;
                return;
            }
            repeats = repeatsOfPacket(context, format, length);
            std::memset(context.output + context.outputLength, context.firstArgument, repeats * length);
        } else {
            length = static_cast<std::uint32_t>(context.header) + 1;
            if (context.outputLength + length > kCodecBufferSize) {
                context.running = false;  // the literal bytes stay unread
                return;
            }
            repeats = repeatsOfPacket(context, format, length);
            // Bytes that cannot be read keep their positions but are counted.
            readBlock(context, context.output + context.outputLength, length);
        }
        // Each repeat after the first began with a read that found no byte left.
        context.cutOff = context.cutOff || repeats > 1;
        context.outputLength += repeats * length;
        // A type-3 stream ends with the packet that reaches the block size, so
        // the last packet may overshoot it by up to 127 bytes.
        if (format == RunLengthFormat::Block && context.outputLength >= kBlockSize) {
            context.running = false;
            return;
        }
    }
}

// Writes input[start .. start + count - 1] (1-128 bytes) as one literal packet;
// the bytes go out only when all of them fit.
void putLiteralPacket(EncodeContext& context, std::uint32_t start, std::uint32_t count)
{
    putByte(context, static_cast<std::uint8_t>(count - 1));
    putBlock(context, context.input + start, count);
}

void encodePackets(EncodeContext& context, RunLengthFormat format)
{
    const std::uint8_t* input = context.input;
    const std::uint32_t n = context.inputLength;
    context.outputLength = 0;
    context.pendingLiteralStart = 0;
    if (!context.ok) {
        return;  // the caller left the flag clear: nothing is written
    }
    std::uint32_t i = 0;
    // Runs are never looked for in the last two input bytes.
    while (i + 2 < n) {
        const std::uint32_t limit = i + kMaxPacketLength <= n ? kMaxPacketLength : n - i;
        std::uint32_t run = 0;
        if (input[i] == input[i + 1]) {
            run = 2;
            while (run < limit && input[i + run] == input[i]) {
                ++run;
            }
        }
        if (run >= kMinRunLength) {
            // In type 2, FF FF anywhere but at the start of the stream is the end
            // marker, so a non-leading run of 128 bytes of FF is cut to 127 and
            // its last byte is left to the next step.
            if (format == RunLengthFormat::Sheet && input[i] == kEndMarkerByte &&
                run == kMaxPacketLength && i > 0) {
                run = kMaxPacketLength - 1;
            }
            // A run always ends the pending literal (at most 127 bytes here).
            if (context.pendingLiteralStart < i) {
                putLiteralPacket(context, context.pendingLiteralStart, i - context.pendingLiteralStart);
            }
            putByte(context, static_cast<std::uint8_t>((run - 1) | kRunBit));
            putByte(context, input[i]);
            i += run;
            context.pendingLiteralStart = i;
        } else {
            ++i;
            if (i - context.pendingLiteralStart == kMaxPacketLength) {
                putLiteralPacket(context, context.pendingLiteralStart, kMaxPacketLength);
                context.pendingLiteralStart += kMaxPacketLength;
            }
        }
        if (!context.ok) {
            return;  // incomplete stream: no tail and no end marker
        }
    }
    // Tail: up to 127 pending bytes and the last two input bytes, at most 129,
    // as literal packets of at most 128 bytes.
    while (context.pendingLiteralStart < n) {
        const std::uint32_t pending = n - context.pendingLiteralStart;
        const std::uint32_t count = pending < kMaxPacketLength ? pending : kMaxPacketLength;
        putLiteralPacket(context, context.pendingLiteralStart, count);
        context.pendingLiteralStart += count;
    }
    if (format == RunLengthFormat::Sheet) {
        putByte(context, kEndMarkerByte);
        putByte(context, kEndMarkerByte);
    }
}

}  // namespace

void decodeRunLengthSheet(DecodeContext& context)
{
    decodePackets(context, RunLengthFormat::Sheet);
}

void decodeRunLengthBlock(DecodeContext& context)
{
    decodePackets(context, RunLengthFormat::Block);
}

void encodeRunLengthSheet(EncodeContext& context)
{
    encodePackets(context, RunLengthFormat::Sheet);
}

void encodeRunLengthBlock(EncodeContext& context)
{
    encodePackets(context, RunLengthFormat::Block);
}
