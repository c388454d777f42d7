#pragma once

// What kuaidi-access writes and AccessReader reads: frames of a tag byte, a
// 4-byte little-endian length and that many bytes. Plain C++, so that the
// helper needs nothing but libmdb.

#include <cstdint>

namespace Kuaidi::AccessFrames {

enum class Tag : unsigned char {
    Version = 'J', // "3" (Access 97: texts are the file's bytes) or "4" (UTF-8)
    Table = 'T',   // a user table's name
    Column = 'C',  // the column's libmdb type (one byte), then its name
    Row = 'R',     // a row begins
    Value = 'V',   // the next cell's text
    Done = 'Z',    // all was read
    Failed = 'E',  // a Failure (one byte), then the table concerned, if any
};

enum class Failure : unsigned char {
    None = '0',
    CannotOpen = 'o',
    Damaged = 'd',
    Encrypted = 'e',
    NoSuchTable = 'n',
    TextTooLong = 'l',
    TooLarge = 'b',
};

// What one table may expand to; the program refuses more anyway.
inline constexpr std::uint64_t MaxCells = 5'000'000;
inline constexpr std::uint64_t MaxBytes = 300'000'000;

} // namespace Kuaidi::AccessFrames
