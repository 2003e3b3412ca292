#include <cstring>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "codec/lz_format.h"
#include "codec/stream_read.h"

// Two kinds of bound protect the 0x10000-byte output buffer. Whole-command
// tests (DirectCopy, ByteFill, and the source range of a Copy) stop the decode
// before anything of the command is written. Per-byte tests (WordFill,
// IncreasingFill, and the destination of a Copy) write up to the end of the
// buffer, drop the rest, and end the decode after that command.
//
// Every stream read lands in one of the context's scratch bytes (or, for a
// DirectCopy, in the output), and a read that fails leaves its destination as
// it was. A stream cut short therefore repeats its last command with the same
// arguments until a bound stops it, and a header field left at 0xFF ends the
// decode at once.

namespace {

void stopDecode(DecodeContext& context)
{
    context.running = false;
}

// True when `length` more bytes written at the current output length stay
// inside the buffer.
bool wholeCommandFits(const DecodeContext& context, std::uint32_t length)
{
    return context.outputLength + length <= kCodecBufferSize;
}

// Bytes of the buffer still free at the write position.
std::uint32_t roomLeft(const DecodeContext& context)
{
    return kCodecBufferSize - context.outputLength;
}

// At the end of the stream a per-byte command repeats until the buffer is
// full, each repeat writing the same `length` bytes, the first of which the
// command has just written at `start`: the rest of the buffer is that period
// over and over, and the decode ends with the buffer full.
void fillWithRepeats(DecodeContext& context, std::uint32_t start, std::uint32_t length)
{
    std::uint8_t* out = context.output;
    for (std::uint32_t at = start + length; at < kCodecBufferSize;) {
        const std::uint32_t done = at - start;
        const std::uint32_t copy = done < kCodecBufferSize - at ? done : kCodecBufferSize - at;
        std::memcpy(out + at, out + start, copy);  // a whole number of periods, or the last part of one
        at += copy;
    }
    context.outputLength = kCodecBufferSize;
    // Each repeat began with a read that found no byte left.
    context.cutOff = true;
    stopDecode(context);
}

// How many of a per-byte command's `length` bytes fit at the write position.
std::uint32_t perByteLength(const DecodeContext& context, std::uint32_t length)
{
    return length < roomLeft(context) ? length : roomLeft(context);
}

// After a command of `length` bytes under the per-byte bound, of which
// `written` fitted: a byte that found the buffer full ends the decode after
// the command. At the end of the stream, a command whose repeats write the
// same bytes (`sameEachRepeat`) has all its repeats done at once.
void endPerByteCommand(DecodeContext& context, std::uint32_t written, std::uint32_t length,
                       bool sameEachRepeat = true)
{
    if (written == length && sameEachRepeat && atStreamEnd(context)) {
        fillWithRepeats(context, context.outputLength, length);
        return;
    }
    context.outputLength += written;
    if (written < length) {
        stopDecode(context);
    }
}



void runDirectCopy(DecodeContext& context, std::uint32_t length)
{
    if (!wholeCommandFits(context, length)) {
        stopDecode(context);  // the literal bytes stay unread
        return;
    }
    // Bytes that cannot be read leave their positions as they were but are
    // counted all the same.
    // At the end of the stream all its repeats are counted at once.
    const std::uint32_t repeats = repeatsAtStreamEnd(context, length);
    readBlock(context, context.output + context.outputLength, length);
    context.outputLength += repeats * length;
}

void runByteFill(DecodeContext& context, std::uint32_t length)
{
    readByte(context, context.firstArgument);
    if (!wholeCommandFits(context, length)) {
        stopDecode(context);
        return;
    }
    const std::uint32_t total = repeatsAtStreamEnd(context, length) * length;  // all repeats at the end
    std::memset(context.output + context.outputLength, context.firstArgument, total);
    context.outputLength += total;
}

void runWordFill(DecodeContext& context, std::uint32_t length)
{
    readByte(context, context.firstArgument);
    readByte(context, context.secondArgument);
    const std::uint32_t written = perByteLength(context, length);
    std::uint8_t* out = context.output + context.outputLength;
    for (std::uint32_t k = 0; k < written; ++k) {
        out[k] = (k & 1U) == 0 ? context.firstArgument : context.secondArgument;
    }
    endPerByteCommand(context, written, length);
}

void runIncreasingFill(DecodeContext& context, std::uint32_t length)
{
    readByte(context, context.firstArgument);
    // The count lives in a local: a repeated command (after a failed read)
    // starts again from the byte that was read.
    const std::uint32_t written = perByteLength(context, length);
    std::uint8_t* out = context.output + context.outputLength;
    std::uint8_t value = context.firstArgument;
    for (std::uint32_t k = 0; k < written; ++k) {
        out[k] = value;
        ++value;  // wraps 0xFF to 0x00
    }
    endPerByteCommand(context, written, length);
}

void runCopy(DecodeContext& context, std::uint32_t length)
{
    readByte(context, context.firstArgument);   // position, low byte first
    readByte(context, context.secondArgument);  // then the high byte
    const std::uint32_t source =
        static_cast<std::uint32_t>(context.secondArgument) << 8 | context.firstArgument;
    if (source + length > kCodecBufferSize) {
        stopDecode(context);
        return;
    }
    // Absolute position, one byte at a time from front to back, so a range
    // that overlaps the bytes being written repeats them. Nothing requires the
    // source to lie before the write position; the source range is inside the
    // buffer in any case.
    const std::uint32_t written = perByteLength(context, length);
    const std::uint8_t* from = context.output + source;
    std::uint8_t* out = context.output + context.outputLength;
    for (std::uint32_t k = 0; k < written; ++k) {
        out[k] = from[k];
    }
    // Repeats copy the same bytes only when the source lies wholly before
    // what this command wrote; otherwise each repeat is done one by one.
    endPerByteCommand(context, written, length, source + length <= context.outputLength);
}

}  // namespace

void decodeLzStream(DecodeContext& context)
{
    while (context.running) {
        readByte(context, context.header);
        // 0xFF is tested before the header is split: it would otherwise read as
        // an extended Copy.
        if (context.header == kLzEndMarker) {
            stopDecode(context);
            return;
        }
        std::uint32_t command = 0;
        std::uint32_t length = 0;
        if (context.header < kLzExtendedHeader) {
            command = static_cast<std::uint32_t>(context.header) >> 5;
            length = (context.header & 0x1FU) + 1;
        } else {
            readByte(context, context.secondHeader);
            command = (static_cast<std::uint32_t>(context.header) >> 2) & 7U;
            length = ((context.header & 3U) << 8 | context.secondHeader) + 1;
        }
        switch (static_cast<LzCommand>(command)) {
        case LzCommand::DirectCopy:
            runDirectCopy(context, length);
            break;
        case LzCommand::ByteFill:
            runByteFill(context, length);
            break;
        case LzCommand::WordFill:
            runWordFill(context, length);
            break;
        case LzCommand::IncreasingFill:
            runIncreasingFill(context, length);
            break;
        default:
            // The command field is 3 bits wide: 4, 5, 6 and 7 are all Copy.
            runCopy(context, length);
            break;
        }
    }
}

void decodeLzSheet(DecodeContext& context)
{
    decodeLzStream(context);
    // Type 1 sheets hold 3bpp tiles; they are widened however the decode ended.
    if (context.codecType != LzSheet) {
        context.outputLength = expandTiles3To4(context.output, context.outputLength);
    }
}
