#pragma once
// What the legacy-file reader and its callers share: how an Access (Jet)
// file is recognised by its first page, and the stream in which the reader
// process hands back a table. Plain C++, so the reader needs no Qt.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vidra::legacy {

enum class JetVersion
{
    None, // not an Access file at all
    Jet3, // Access 97
    Jet4, // Access 2000 to 2003
    Ace   // Access 2007 and later
};

struct JetHeader
{
    JetVersion version = JetVersion::None;
    std::size_t pageSize = 0;
};

// Bytes 0-3 are a fixed magic, 4-19 name the engine, byte 20 its version.
inline JetHeader probeJetHeader(const unsigned char* bytes, std::size_t n)
{
    static constexpr unsigned char kMagic[4] = {0x00, 0x01, 0x00, 0x00};
    JetHeader h;
    if (n < 21 || std::memcmp(bytes, kMagic, 4) != 0) return h;
    const bool jet = std::memcmp(bytes + 4, "Standard Jet DB\0", 16) == 0;
    const bool ace = std::memcmp(bytes + 4, "Standard ACE DB\0", 16) == 0;
    if (!jet && !ace) return h;
    const unsigned v = bytes[20];
    if (v == 0) {
        h.version = JetVersion::Jet3;
        h.pageSize = 2048;
    } else if (v == 1) {
        h.version = JetVersion::Jet4;
        h.pageSize = 4096;
    } else if (v <= 5) {
        h.version = JetVersion::Ace;
        h.pageSize = 4096;
    }
    return h;
}

// The largest memo value read whole; a longer one is an error, never cut.
inline constexpr std::size_t kMaxMemoBytes = 4u << 20;

// The longest value a file of `fileSize` bytes can hold, as UTF-8. Text
// takes at least one byte of the file for every three of its UTF-8 (UCS-2
// two for up to three, compressed or code-page text one for up to three),
// so a longer value is made up by damage.
inline std::size_t maxValueBytes(std::uint64_t fileSize)
{
    return fileSize >= kMaxMemoBytes / 3 ? kMaxMemoBytes : std::size_t(fileSize) * 3;
}

// The reader's exit status when the memory it was allowed is used up.
inline constexpr int kOutOfMemoryStatus = 5;

// ---------------------------------------------------------------- the stream
// "VLR1", then frames, each a tag byte:
//   'T' u64 expected rows, u32 columns, per column: str name, u8 kind, i32 size
//   'R' per column: u32 length+1 (0 for null), bytes
//   'W' str message                 (damage seen in the rows sent, the read goes on)
//   'E' u64 rows sent               (the end of a good read)
//   'X' str message                 (the end of a failed read)
// Integers are little-endian; str is u32 length and UTF-8 bytes.
inline constexpr char kStreamMagic[4] = {'V', 'L', 'R', '1'};

enum class ColumnKind : std::uint8_t
{
    Text = 0,
    Memo = 1,
    Other = 2, // numbers, dates, yes/no: handed over as their text
    Binary = 3 // OLE objects and binary data: not usable as text
};

inline void putU32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char((v >> (8 * i)) & 0xFF));
}
inline void putU64(std::string& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(char((v >> (8 * i)) & 0xFF));
}
inline void putStr(std::string& out, std::string_view s)
{
    putU32(out, std::uint32_t(s.size()));
    out.append(s);
}

} // namespace vidra::legacy
