#pragma once
// The reasons the PNG layer itself gives for a damaged picture (libpng's own
// texts come from libpng), and for a picture that could not be written. They
// end the "the PNG data is damaged: %s." line of sheetfile_messages.h, so
// none has a closing full stop; those with a conversion are printf formats.
// Several are worded as libpng words the same fault, so that a picture reads
// the same whichever of the two readers meets it.

// The header and the chunk structure.
inline constexpr const char* kReasonNoHeaderChunk = "it does not start with an IHDR chunk";
inline constexpr const char* kReasonHeaderTooShort = "IHDR: too short to hold the picture's size";
inline constexpr const char* kReasonHeaderLength = "Invalid IHDR length";
inline constexpr const char* kReasonTooManyChunks = "it holds more chunks than any picture needs";
inline constexpr const char* kReasonChunkLengthOutOfRange = "PNG unsigned integer out of range";
inline constexpr const char* kReasonInvalidChunkType = "invalid chunk type";
inline constexpr const char* kFmtReasonUnhandledCriticalChunk = "%c%c%c%c: unhandled critical chunk";
inline constexpr const char* kFmtReasonChunkCrc = "%c%c%c%c: CRC error";

// The palette and the image data.
inline constexpr const char* kReasonPaletteInvalid = "PLTE: invalid";
inline constexpr const char* kReasonPaletteDuplicate = "PLTE: duplicate";
inline constexpr const char* kReasonNoPaletteBeforeImageData = "Missing PLTE before IDAT";
inline constexpr const char* kReasonTooMuchImageData = "IDAT: more image data than the picture's rows can hold";
inline constexpr const char* kReasonNotEnoughImageData = "Not enough image data";
inline constexpr const char* kFmtReasonInflate = "IDAT: %s";  // zlib's message
inline constexpr const char* kReasonInflateFailed = "decompression error";  // when zlib gives none
inline constexpr const char* kReasonBadFilter = "bad adaptive filter value";

// Rows that libpng hands over in a form other than the one set up for them.
inline constexpr const char* kReasonUnexpectedRowLayout = "unexpected row layout";
inline constexpr const char* kReasonRowPastHeight = "a row past the picture's height";

// Reading or writing a picture.
inline constexpr const char* kReasonOutOfMemory = "not enough memory";
