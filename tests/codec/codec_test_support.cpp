#include "codec_test_support.h"

#include <algorithm>

#include "codec/codec_limits.h"

FilePtr streamOf(const Bytes& bytes)
{
    FilePtr file(std::tmpfile());
    if (file && !bytes.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    }
    if (file) {
        std::rewind(file.get());
    }
    return file;
}

DecodeRun runDecoder(DecodeFunction decode, const Bytes& stream, DecodeContext& context,
                     std::uint32_t codecType, std::uint8_t fill)
{
    DecodeRun run;
    run.buffer.assign(kCodecBufferSize, fill);
    FilePtr file = streamOf(stream);
    if (!file) {
        return run;
    }
    context.input = file.get();
    context.output = run.buffer.data();
    context.outputLength = 0;
    context.running = true;
    context.codecType = codecType;
    decode(context);
    run.length = context.outputLength;
    run.running = context.running;
    run.streamPosition = std::ftell(file.get());
    context.input = nullptr;
    context.output = nullptr;
    return run;
}

DecodeRun runDecoder(DecodeFunction decode, const Bytes& stream, std::uint32_t codecType,
                     std::uint8_t fill)
{
    DecodeContext context;
    return runDecoder(decode, stream, context, codecType, fill);
}

EncodeRun runEncoder(EncodeFunction encode, const Bytes& input, std::uint32_t codecType)
{
    EncodeRun run;
    run.input = input;
    Bytes output(kCodecBufferSize);
    EncodeContext context;
    context.input = run.input.data();
    context.inputLength = static_cast<std::uint32_t>(run.input.size());
    context.codecType = codecType;
    context.output = output.data();
    context.outputLength = 0;
    context.ok = true;
    encode(context);
    run.ok = context.ok;
    run.inputLength = context.inputLength;
    run.stream.assign(output.begin(), output.begin() + std::min<std::uint32_t>(context.outputLength,
                                                                             kCodecBufferSize));
    return run;
}

Bytes repeated(const Bytes& pattern, std::size_t length)
{
    Bytes out(length);
    for (std::size_t k = 0; k < length; ++k) {
        out[k] = pattern[k % pattern.size()];
    }
    return out;
}

Bytes operator+(Bytes left, const Bytes& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

std::uint64_t TestRandom::next()
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

Bytes TestRandom::bytes(std::size_t length, std::uint32_t alphabet)
{
    Bytes out(length);
    for (auto& value : out) {
        value = static_cast<std::uint8_t>(below(alphabet));
    }
    return out;
}
