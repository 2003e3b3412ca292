#include "transfer/check_report.h"

#include <cstdio>

#include "transfer/transfer_messages.h"

void printSheetSpans(const SheetSpan* spans, std::uint32_t count)
{
    constexpr std::uint32_t kPerLine = 4;
    std::printf("%s", kMsgSpanHeading);
    for (std::uint32_t k = 0; k < count; ++k) {
        const bool lineEnds = k % kPerLine == kPerLine - 1 || k + 1 == count;
        // A mark takes the place of one space, so that the columns stay aligned.
        const char* after = lineEnds ? (spans[k].marked ? "*\n" : "\n") : (spans[k].marked ? "*  " : "   ");
        std::printf(kFmtSpan, static_cast<unsigned>(spans[k].sheet), static_cast<unsigned>(spans[k].offset),
                    static_cast<unsigned>(spans[k].length), after);
    }
}
