#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace day {

// Offset of the first byte that breaks UTF-8, or npos when there is none.
// Only shortest forms count as UTF-8; surrogates and code points above
// U+10FFFF do not.
std::size_t FirstInvalidUtf8(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// What a text's bytes say about its encoding: the first byte that breaks
// UTF-8 (npos when none does), and whether the bytes hold any well-formed
// multi-byte UTF-8 character, before or after that byte.
struct Utf8Scan {
    std::size_t firstInvalid = std::string_view::npos;
    bool multiByte = false;
};
Utf8Scan ScanUtf8(std::string_view bytes);

// 3 when the bytes start with the UTF-8 byte-order mark, else 0.
std::size_t Utf8BomLength(std::string_view bytes);

// Every byte as its Windows-1252 character, in UTF-8. The five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1
// controls of the same number.
std::string Windows1252ToUtf8(std::string_view bytes);

// One Windows-1252 byte as UTF-8 (one to three bytes), as Windows1252ToUtf8
// has it.
std::string_view Windows1252CharUtf8(unsigned char byte);

// A file's text as UTF-8: a leading byte-order mark is dropped, and what
// follows is taken as it is when it is valid UTF-8, otherwise read as
// Windows-1252 (what Swedish spreadsheets save in).
std::string DecodeToUtf8(std::string_view bytes);

}  // namespace day
