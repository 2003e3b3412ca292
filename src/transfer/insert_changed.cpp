#include "transfer/insert_changed.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <initializer_list>
#include <new>

#include "codec/bitplane.h"
#include "codec/lz_codec.h"
#include "codec/sheet_codec.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "rom/stored_form.h"
#include "transfer/check_report.h"
#include "transfer/insert_steps.h"
#include "transfer/transfer_messages.h"

// Only the sheets whose stored form differs from the ROM's are written; every
// other byte of the ROM stays. The walk first reads every sheet and tells
// which changed, by decoding the ROM's own stream of each; then it gives each
// changed sheet its place: its old extent (where its stream lies now) when
// the new stream fits there and no other sheet shares those bytes, else the
// first free place from the start offset, in the start offset's area; then
// it builds the new image from a copy of the ROM's and puts it in place.
// Nothing is written before every sheet has a place, and nothing at all when
// no sheet changed.

namespace {

enum class Fate : std::uint8_t { Kept, InPlace, Moved };

struct SheetPlan {
    Fate fate = Fate::Kept;
    std::uint64_t oldStart = 0;   // file offset of the bytes the sheet takes now
    std::uint64_t oldLength = 0;  // ... and how many: the stream bytes its decoder read
    bool ownsOldBytes = false;    // they hold its stream for sure: not one cut off or decoding to nothing
                                  // (changed sheets: and they may be reused, see oldBytesReusable)
    std::unique_ptr<PlannedSheet> stored;  // changed sheets: the new stored form and its place
};

// The walk's decoding of the ROM's own streams: a zeroed buffer for every
// decode, as extraction has it.
struct RomDecoder {
    DecodeContext context;
    std::unique_ptr<std::uint8_t[]> output;
    std::uint32_t dirtyLength = 0;
};

// Decodes the stream at the PcOffset `pointer` of a compressed sheet, before
// a type-1 sheet's widening; `read` receives the stream bytes read. The
// decoded bytes, or null when the stream cannot be decoded: nothing decoded,
// or a stream that runs past the end of the file.
const std::uint8_t* decodeRomStream(const RomImage& rom, RomDecoder& decoder, std::uint32_t sheet,
                                    PcOffset pointer, std::uint32_t& length, std::uint32_t& read)
{
    std::memset(decoder.output.get(), 0, decoder.dirtyLength);
    const RomSpan stream = romBytesFrom(rom, pointer);
    DecodeContext& context = decoder.context;
    startDecode(context, stream.bytes, stream.length, decoder.output.get(), sheetCodecType(sheet));
    if (context.codecType == LzSheet3bpp) {
        decodeLzStream(context);
    } else {
        decodeSheetStream(context);
    }
    decoder.dirtyLength = context.outputLength;
    read = context.inputRead;
    length = context.outputLength;
    return length == 0 || context.cutOff ? nullptr : decoder.output.get();
}

// Whether the sheet in `source` (`length` bytes, zero past them) stores what
// the ROM holds for it now; sets plan's old extent for a pointer-addressed sheet.
bool unchanged(const RomImage& rom, RomDecoder& decoder, std::uint32_t sheet, const std::uint8_t* source,
               std::uint32_t length, std::uint8_t* scratch, SheetPlan& plan)
{
    // The copy holds every byte packing reads: a raw sheet's first 2048, a
    // fixed sheet's catalogue size, zeros past the source's own bytes.
    const SheetStorage storage = sheetStorage(sheet);
    const std::uint32_t needed = storage == SheetStorage::Raw3bpp       ? kRaw4bppSheetSize
                                 : storage == SheetStorage::FixedOffset ? sheetSize(sheet, *rom.layout)
                                                                        : 0;
    std::memcpy(scratch, source, length > needed ? length : needed);
    const std::uint32_t packed = packForStorage(*rom.layout, sheet, scratch, length);
    const PcOffset pointer = storage == SheetStorage::FixedOffset
                                 ? fixedSheetOffset(sheet)
                                 : readSheetPointer(rom.bytes.get(), rom.headerOffset, *rom.layout, sheet);
    plan.oldStart = std::uint64_t{rom.headerOffset} + pointer;
    if (storage != SheetStorage::Compressed) {
        plan.oldLength = packed;
        plan.ownsOldBytes = true;
        const RomSpan held = romBytesFrom(rom, pointer);
        return held.length >= packed && std::memcmp(held.bytes, scratch, packed) == 0;
    }
    std::uint32_t decodedLength = 0;
    std::uint32_t read = 0;
    const std::uint8_t* decoded = decodeRomStream(rom, decoder, sheet, pointer, decodedLength, read);
    plan.oldLength = read;
    plan.ownsOldBytes = decoded != nullptr;
    return decoded != nullptr && decodedLength == packed && std::memcmp(decoded, scratch, packed) == 0;
}

// Whether [start, start + length) meets the old extent of any pointer-addressed
// or fixed sheet but `self`.
bool meetsOtherSheet(const SheetPlan* plans, std::uint32_t self, std::uint64_t start, std::uint64_t length)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (sheet != self && overlaps(start, length, plans[sheet].oldStart, plans[sheet].oldLength)) {
            return true;
        }
    }
    return false;
}

// Whether the sheet's old extent may take its new stream and the fill: it
// holds the stream for sure, lies past the tables and inside the file, and
// does not cross the protected boundary from below (no sheet may, so such
// an extent is no stream the tool would have laid).
bool oldBytesReusable(const RomImage& rom, const SheetPlan& plan)
{
    const std::uint64_t boundary = std::uint64_t{rom.headerOffset} + rom.layout->protectedBoundary;
    const std::uint64_t end = plan.oldStart + plan.oldLength;
    return plan.ownsOldBytes && plan.oldStart >= std::uint64_t{rom.headerOffset} + kSystemAreaEnd &&
           end <= rom.size && !(plan.oldStart < boundary && boundary < end);
}

// The first kept sheet whose old extent meets bytes the run writes outside
// every moved sheet's place: a changed fixed sheet, or the pointer entries of
// the moved sheets (and of 0xDD and 0xDE when 0x71 or 0x72 moves).
// kSheetCount when there is none; `at` receives the first byte they share.
std::uint32_t keptSheetWrittenOver(const RomImage& rom, const SheetPlan* plans, std::uint64_t& at)
{
    Region written[2 + 3 * (kSheetCount + 2)];
    std::uint32_t count = 0;
    const PointerTables tables = pointerTables(*rom.layout);
    const auto addEntry = [&](std::uint32_t sheet) {
        for (const PcOffset table : {tables.bank, tables.high, tables.low}) {
            written[count++] = {std::uint64_t{rom.headerOffset} + table + sheet, 1};
        }
    };
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SheetPlan& plan = plans[sheet];
        if (plan.fate == Fate::Moved) {
            addEntry(sheet);
        } else if (plan.fate == Fate::InPlace && sheetStorage(sheet) == SheetStorage::FixedOffset) {
            written[count++] = {plan.oldStart, plan.oldLength};
        }
    }
    if (plans[0x71].fate == Fate::Moved || plans[0x72].fate == Fate::Moved) {
        addEntry(0xDD);
        addEntry(0xDE);
    }
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SheetPlan& plan = plans[sheet];
        for (std::uint32_t k = 0; k < count && plan.fate == Fate::Kept; ++k) {
            if (overlaps(plan.oldStart, plan.oldLength, written[k].start, written[k].length)) {
                at = std::max(plan.oldStart, written[k].start);
                return sheet;
            }
        }
    }
    return kSheetCount;
}

// Where moved sheets may go: from the start offset to the end of its area,
// and what they may not overlap.
struct FreeSpace {
    std::uint64_t start = 0;
    std::uint64_t end = 0;           // places end at or before this
    std::uint64_t boundary = 0;      // the protected boundary a place may not cross from below
    std::uint64_t pointerReach = 0;  // places start below this
    Region taken[2 * kSheetCount + kReservedRegionCount];
    std::uint32_t takenCount = 0;
};

void take(FreeSpace& space, std::uint64_t start, std::uint64_t length)
{
    if (length != 0) {
        space.taken[space.takenCount++] = {start, length};
    }
}

// The first place of `length` bytes at or after space.start that passes the
// room rules and overlaps nothing taken; false when there is none.
bool findPlace(const FreeSpace& space, std::uint64_t length, std::uint64_t& place)
{
    std::uint64_t at = space.start;
    for (;;) {
        if (at + length > space.end || at >= space.pointerReach) {
            return false;
        }
        // Today's room rule: no place may hold the protected boundary from below.
        if (at <= space.boundary && space.boundary < at + length) {
            at = space.boundary + 1;
            continue;
        }
        bool moved = false;
        for (std::uint32_t k = 0; k < space.takenCount; ++k) {
            const Region& region = space.taken[k];
            if (overlaps(at, length, region.start, region.length)) {
                at = region.start + region.length;
                moved = true;
            }
        }
        if (!moved) {
            place = at;
            return true;
        }
    }
}

// The area moved sheets may use: the graphics area up to the protected
// boundary or the expansion area up to the end of the file, the one the start
// lies in; with `anyStart`, the whole file as today's room rules allow it.
void describeFreeSpace(const RomImage& rom, const InsertRequest& request, std::uint64_t start, FreeSpace& space)
{
    const std::uint64_t header = rom.headerOffset;
    const std::uint64_t boundary = header + rom.layout->protectedBoundary;
    space.start = start;
    // A sheet may not end at the file size: it must end a byte before.
    space.end = rom.size == 0 ? 0 : std::uint64_t{rom.size} - 1;
    space.boundary = boundary;
    if (!request.anyStart && start < boundary) {
        space.end = boundary;
        space.boundary = boundary + 1;  // a place may end exactly at it
    }
    space.pointerReach = header + kLoRomAddressableLimit;
    Region reserved[kReservedRegionCount];
    reservedRegions(rom, reserved);
    for (const Region& region : reserved) {
        take(space, region.start, region.length);
    }
}

// The check's list of the changed sheets, in visiting order, those written in place marked.
void printChangedSpans(const SheetPlan* plans)
{
    SheetSpan spans[kSheetCount];
    std::uint32_t count = 0;
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        const SheetPlan& plan = plans[sheet];
        if (plan.fate != Fate::Kept) {
            spans[count++] = {sheet, plan.stored->position, plan.stored->length, plan.fate == Fate::InPlace};
        }
    }
    if (count != 0) {
        printSheetSpans(spans, count);
    }
}

// 0xFF over the old extent of changed sheet `self` wherever no other
// sheet's old extent lies, never below the tables nor past the file.
void fillFreedBytes(const SheetPlan* plans, std::uint32_t self, RomImage& image)
{
    const SheetPlan& plan = plans[self];
    std::uint64_t at = std::max(plan.oldStart, std::uint64_t{image.headerOffset} + kSystemAreaEnd);
    const std::uint64_t end = std::min(plan.oldStart + plan.oldLength, std::uint64_t{image.size});
    Region others[kSheetCount];
    std::uint32_t count = 0;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (sheet != self && overlaps(at, end > at ? end - at : 0, plans[sheet].oldStart, plans[sheet].oldLength)) {
            others[count++] = {plans[sheet].oldStart, plans[sheet].oldLength};
        }
    }
    std::sort(others, others + count, [](const Region& a, const Region& b) { return a.start < b.start; });
    for (std::uint32_t k = 0; k <= count && at < end; ++k) {
        const std::uint64_t until = k < count ? std::min(others[k].start, end) : end;
        if (until > at) {
            std::memset(image.bytes.get() + at, 0xFF, until - at);
        }
        if (k < count) {
            at = std::max(at, others[k].start + others[k].length);
        }
    }
}

// Writes into `image` (a copy of the ROM's) every changed sheet, the fill of
// what changed sheets leave of their old extents, and the pointers of the
// moved ones.
void applyPlan(const SheetPlan* plans, bool fill, RomImage& image)
{
    std::uint8_t* bytes = image.bytes.get();
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SheetPlan& plan = plans[sheet];
        if (plan.fate == Fate::Kept) {
            continue;
        }
        const PlannedSheet& stored = *plan.stored;
        if (plan.fate == Fate::Moved) {
            writeSheetPointer(bytes, image.headerOffset, *image.layout, sheet, stored.position - image.headerOffset);
        }
        if (fill && plan.ownsOldBytes && sheetStorage(sheet) != SheetStorage::FixedOffset) {
            fillFreedBytes(plans, sheet, image);
        }
    }
    // The sheets themselves last: an in-place sheet over its own fill.
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (plans[sheet].fate != Fate::Kept) {
            const PlannedSheet& stored = *plans[sheet].stored;
            std::memcpy(bytes + stored.position, stored.bytes, stored.length);
        }
    }
    // 0xDD and 0xDE point wherever 0x71 and 0x72 do.
    if (plans[0x71].fate == Fate::Moved || plans[0x72].fate == Fate::Moved) {
        const PointerTables tables = pointerTables(*image.layout);
        for (const PcOffset table : {tables.bank, tables.high, tables.low}) {
            std::uint8_t* entries = bytes + image.headerOffset + table;
            entries[0xDD] = entries[0x71];
            entries[0xDE] = entries[0x72];
        }
    }
}

// Reads every sheet, tells the changed ones and brings them into their
// stored form. False after the message of a file or sheet that fails.
bool findChanges(const RomImage& rom, const SheetSource& source, const InsertRequest& request, SheetPlan* plans,
                 InsertOutcome& outcome)
{
    SheetBuffer sheetBuffer;
    RomDecoder decoder;
    decoder.output.reset(new (std::nothrow) std::uint8_t[kCodecBufferSize]());
    std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow) std::uint8_t[kSheetBufferSize]);
    if (!allocateSheetBuffer(sheetBuffer)) {
        return false;
    }
    if (!decoder.output || !scratch) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    const LzPacking packing = request.smallest ? LzPacking::Smallest : LzPacking::Default;
    EncoderTables tables;
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        SheetPlan& plan = plans[sheet];
        std::uint32_t length = 0;
        if (!readSheet(source, sheet, sheetBuffer, length)) {
            outcome.unreadSheet = sheet;
            return false;
        }
        if (unchanged(rom, decoder, sheet, sheetBuffer.bytes.get(), length, scratch.get(), plan)) {
            continue;
        }
        plan.stored.reset(new (std::nothrow) PlannedSheet);
        if (!plan.stored) {
            std::printf("%s", kMsgOutOfMemory);
            return false;
        }
        plan.fate = Fate::Moved;
        if (!storeSheet(*rom.layout, tables.context, packing, sheet, sheetBuffer.bytes.get(), length,
                        *plan.stored)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool insertChangedSheets(RomImage& rom, const InsertRequest& request, InsertOutcome& outcome)
{
    const std::uint32_t start = adjustedStartOffset(request.startOffset, rom.headerOffset);
    bool refused = false;
    if (!request.anyStart && !startInSheetArea(rom, start)) {
        if (!request.checkOnly) {
            return false;
        }
        refused = true;
    }
    SheetSource source;
    if (!openSheetSource(source, *rom.layout, request.sheetFilePath, request.pictures)) {
        outcome.combinedFileRefused = true;
        return false;
    }
    std::unique_ptr<SheetPlan[]> plans(new (std::nothrow) SheetPlan[kSheetCount]);
    if (!plans) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    if (!findChanges(rom, source, request, plans.get(), outcome)) {
        return false;
    }

    // In place: fixed sheets always; a pointer-addressed sheet whose new
    // stream fits its old extent when no other sheet shares those bytes and
    // they lie where sheets may lie.
    FreeSpace space;
    describeFreeSpace(rom, request, start, space);
    std::uint32_t changed = 0;
    std::uint32_t inPlace = 0;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        SheetPlan& plan = plans[sheet];
        if (plan.fate == Fate::Kept) {
            take(space, plan.oldStart, plan.oldLength);
            continue;
        }
        ++changed;
        const bool fixed = sheetStorage(sheet) == SheetStorage::FixedOffset;
        plan.ownsOldBytes = oldBytesReusable(rom, plan);
        const bool fits = plan.ownsOldBytes && plan.stored->length <= plan.oldLength &&
                          !meetsOtherSheet(plans.get(), sheet, plan.oldStart, plan.oldLength);
        if (fixed || fits) {
            plan.fate = Fate::InPlace;
            plan.stored->position = static_cast<std::uint32_t>(plan.oldStart);
            ++inPlace;
        }
        // No moved sheet goes where a changed sheet lies now.
        take(space, plan.oldStart, plan.oldLength);
    }

    // No kept sheet may lose its stream to what the run writes beside the sheets.
    std::uint64_t overwrittenAt = 0;
    const std::uint32_t overwritten = keptSheetWrittenOver(rom, plans.get(), overwrittenAt);
    if (overwritten < kSheetCount) {
        std::printf(kFmtKeptStreamWrittenOver, static_cast<unsigned>(overwritten),
                    static_cast<unsigned>(overwrittenAt));
        outcome.keptStreamWrittenOver = true;
    }

    // Moved: in visiting order, each to the first free place from the start.
    std::uint64_t end = 0;
    bool noRoom = false;
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        SheetPlan& plan = plans[sheet];
        if (plan.fate != Fate::Moved) {
            continue;
        }
        std::uint64_t place = 0;
        if (!findPlace(space, plan.stored->length, place)) {
            if (!noRoom) {
                std::printf("%s", kMsgNotEnoughRoom);
                if (start >= rom.size) {
                    printStartPastEnd(rom, start);
                }
                noRoom = true;
            }
            if (!request.checkOnly) {
                break;
            }
            // A check lays the rest out as if the file went on.
            space.end = ~std::uint64_t{0} >> 1;
            space.pointerReach = space.end;
            static_cast<void>(findPlace(space, plan.stored->length, place));
        }
        plan.stored->position = static_cast<std::uint32_t>(place);
        take(space, place, plan.stored->length);
        end = place + plan.stored->length > end ? place + plan.stored->length : end;
    }

    if (request.checkOnly) {
        printChangedSpans(plans.get());
    }
    std::printf(kFmtChangedSheets, static_cast<unsigned>(changed), static_cast<unsigned>(inPlace),
                static_cast<unsigned>(changed - inPlace));
    outcome.refusedForRoom = noRoom;
    outcome.startPastEnd = noRoom && start >= rom.size;
    if (refused || noRoom || overwritten < kSheetCount) {
        return false;
    }
    outcome.endOffset = static_cast<std::uint32_t>(end);
    if (request.checkOnly || changed == 0) {
        return true;  // a ROM where nothing changed is not written at all
    }
    applyPlan(plans.get(), request.fill, rom);
    return storeRomImage(rom);
}
