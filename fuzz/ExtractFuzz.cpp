// The case-blind marker search on any text and any markers, into fields of any size the
// program uses, in place or not: the piece stays within its field, and a piece that was
// found is the text's own, in its own case, ending where the search says.
#include <cstring>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "web/PageBuffer.h"
#include "web/TextSearch.h"

// Input: flags (bit 0: keep the start marker, bit 1: take in the end marker, bit 2: in
// place), the piece's field size less one, then the start marker, the end marker and the
// text, each ending at a NUL.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t flags = input.byte();
    const bool keepStart = flags & 1, includeEnd = flags & 2, inPlace = flags & 4;
    const size_t capacity = 1 + static_cast<size_t>(input.byte());  // 1 to 256 bytes
    FixedField startMarker(kPageBufferSize, input.piece());
    FixedField endMarker(kPageBufferSize, input.piece());
    const std::string_view rest = input.piece();

    // In place, the text is what the field holds; else any text the page buffer holds.
    FixedField text(inPlace ? capacity : std::min<size_t>(rest.size() + 1, kPageBufferSize), rest);
    const std::string original = text.text("the text");
    FixedField separate(capacity);
    char* out = inPlace ? text.data() : separate.data();

    const int end = extractBetween(text.data(), startMarker.data(), endMarker.data(), out, capacity, keepStart,
                                   includeEnd);
    const std::string piece = (inPlace ? text : separate).text("the piece");
    fuzzExpect(end >= 0 && static_cast<size_t>(end) <= original.size(), "the end lies within the text");
    // A piece cut at the field's size is the start of the text's piece; one that fits ends at `end`.
    if (end > 0 && piece.size() < capacity - 1) {
        fuzzExpect(piece.size() <= static_cast<size_t>(end) &&
                       original.compare(static_cast<size_t>(end) - piece.size(), piece.size(), piece) == 0,
                   "the piece is the text's own, ending where the search says");
    }
    return 0;
}
