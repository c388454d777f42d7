// kuaidi-access: reads one Access database (.mdb, .accdb) for the program,
// in a process of its own. libmdb trusts the files it reads: a damaged one
// can make it allocate without end or read past what it has. Here that ends
// this process under its memory and time limits, never the program.
//
//   kuaidi-access list FILE          the user tables
//   kuaidi-access read FILE INDEX    the INDEX-th of them (from 0)
//
// Standard output is a run of frames, each a tag byte, a 4-byte little-endian
// length and that many bytes (see accessframes.h); the last says "done" or
// why not. Texts of Access 97 (Jet 3) files go out as their own bytes, for the
// program to decode by the code page it chooses; all others as UTF-8.

#include "accessframes.h"

#include <core/sanitizer.h>

// glib before mdbtools.h, which would take its C++ parts into extern "C".
#include <glib.h>
#include <mdbtools.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace Kuaidi::AccessFrames;
using Kuaidi::Sanitized;

// Texts are cut at the bind size: long enough for any memo a rate table
// holds, and a text that fills it is refused rather than cut.
constexpr size_t BindSize = size_t(1) << 20;
// 255 columns of bound texts and libmdb's own needs fit well below this.
constexpr rlim_t AddressSpace = rlim_t(384) << 20;
constexpr rlim_t CpuSeconds = 10;

// Where the frames go: the standard output as the program started us, while
// libmdb's own prints (it dumps buffers on some damage) go nowhere.
std::FILE *frames = stdout;

void frame(Tag tag, std::string_view bytes)
{
    const auto length = uint32_t(bytes.size());
    const unsigned char header[5] = {static_cast<unsigned char>(tag), static_cast<unsigned char>(length),
                                     static_cast<unsigned char>(length >> 8),
                                     static_cast<unsigned char>(length >> 16),
                                     static_cast<unsigned char>(length >> 24)};
    std::fwrite(header, 1, sizeof header, frames);
    if (!bytes.empty()) // an empty view may hold no pointer at all
        std::fwrite(bytes.data(), 1, bytes.size(), frames);
}

[[noreturn]] void finish(Failure failure, std::string_view table = {})
{
    if (failure == Failure::None) {
        frame(Tag::Done, {});
    } else {
        frame(Tag::Failed, std::string(1, char(failure)) + std::string(table));
    }
    std::fflush(frames);
    std::_Exit(failure == Failure::None ? 0 : 1);
}

struct File
{
    std::FILE *stream = nullptr;
    uint64_t size = 0;
    uint32_t pageSize = 4096;
    uint64_t pages = 0;
    bool jet3 = false;
};

uint32_t le32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The checks libmdb does not make: a whole number of pages (a file cut
// inside its last page makes libmdb allocate without end), and no Office
// encryption, which libmdb cannot read.
File examine(const char *path)
{
    File file;
    file.stream = std::fopen(path, "rb");
    if (!file.stream)
        finish(Failure::CannotOpen);
    std::fseek(file.stream, 0, SEEK_END);
    const long size = std::ftell(file.stream);
    std::fseek(file.stream, 0, SEEK_SET);
    unsigned char header[0x2A0] = {};
    if (size < long(sizeof header) || std::fread(header, 1, sizeof header, file.stream) != sizeof header)
        finish(Failure::Damaged);
    if (std::memcmp(header + 4, "Standard Jet DB", 15) != 0 &&
        std::memcmp(header + 4, "Standard ACE DB", 15) != 0)
        finish(Failure::Damaged);
    file.size = uint64_t(size);
    file.jet3 = header[0x14] == 0;
    file.pageSize = file.jet3 ? 2048 : 4096;
    if (file.size % file.pageSize != 0)
        finish(Failure::Damaged);
    file.pages = file.size / file.pageSize;
    // Access 2010 and later keep the encryption's description here; a
    // plain file has none.
    if (header[0x14] >= 2 && (header[0x299] | header[0x29A]) != 0)
        finish(Failure::Encrypted);
    return file;
}

// Whether every page the table's usage map names lies within the file.
bool pagesWithinFile(const File &file, const MdbTableDef *table)
{
    const unsigned char *map = table->usage_map;
    const size_t size = table->map_sz;
    if (!map || size < 1)
        return true;
    if (map[0] == 0) {
        if (size < 5)
            return true;
        const uint64_t first = le32(map + 1);
        for (size_t bit = 0; bit < (size - 5) * 8; ++bit) {
            if ((map[5 + bit / 8] & (1 << (bit % 8))) && first + bit >= file.pages)
                return false;
        }
        return true;
    }
    if (map[0] != 1)
        return true;
    // Each entry names a page of bits, each bit a page of the file.
    const uint64_t bitsPerPage = uint64_t(file.pageSize - 4) * 8;
    std::vector<unsigned char> bits(file.pageSize);
    for (size_t entry = 0; 1 + 4 * entry + 4 <= size; ++entry) {
        const uint32_t mapPage = le32(map + 1 + 4 * entry);
        if (mapPage == 0)
            continue;
        if (mapPage >= file.pages)
            return false;
        if (std::fseek(file.stream, long(uint64_t(mapPage) * file.pageSize), SEEK_SET) != 0 ||
            std::fread(bits.data(), 1, bits.size(), file.stream) != bits.size())
            return false;
        for (uint64_t bit = 0; bit < bitsPerPage; ++bit) {
            if ((bits[4 + bit / 8] & (1 << (bit % 8))) && entry * bitsPerPage + bit >= file.pages)
                return false;
        }
    }
    return true;
}

// A text as libmdb gave it: for Jet 3 the file's own bytes again (libmdb was
// told they are Latin-1, so each came out as one character), else UTF-8.
std::string fileText(const File &file, const char *text)
{
    if (!file.jet3)
        return text;
    std::string bytes;
    for (const auto *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        if (*p >= 0xC0 && p[1]) {
            bytes += char(((*p & 0x03) << 6) | (p[1] & 0x3F));
            ++p;
        } else {
            bytes += char(*p);
        }
    }
    return bytes;
}

struct Database
{
    File file;
    MdbHandle *mdb = nullptr;
    std::vector<MdbCatalogEntry *> tables; // the user tables, in catalogue order
};

// Reads every row of @p table, its columns read already, handing each to
// @p row; false when the rows read are not the rows the table says it holds.
template<typename Row> bool readRows(MdbTableDef *table, Row row)
{
    mdb_rewind_table(table);
    const unsigned columns = table->num_cols;
    // Left unfilled: libmdb writes a whole string into each for every row.
    std::vector<std::unique_ptr<char[]>> values(columns);
    std::vector<int> lengths(columns, 0);
    for (unsigned c = 0; c < columns; ++c) {
        values[c] = std::make_unique_for_overwrite<char[]>(BindSize);
        values[c][0] = '\0';
        mdb_bind_column(table, int(c + 1), values[c].get(), &lengths[c]);
    }
    unsigned long count = 0;
    while (mdb_fetch_row(table)) {
        ++count;
        row(values);
    }
    return count == table->num_rows;
}

Database openDatabase(const char *path)
{
    Database db;
    db.file = examine(path);
    db.mdb = mdb_open(path, MDB_NOFLAGS);
    if (!db.mdb)
        finish(Failure::Damaged);
    mdb_set_bind_size(db.mdb, BindSize);
    mdb_set_date_fmt(db.mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_shortdate_fmt(db.mdb, "%Y-%m-%d");
    mdb_set_boolean_fmt_words(db.mdb);
    // libmdb reads Jet 4 text as UCS-2, which turns a character beyond the
    // Basic Multilingual Plane into "??"; UTF-16 keeps it. Jet 3 bytes pass
    // through untouched, to be decoded by the program.
    iconv_close(db.mdb->iconv_in);
    db.mdb->iconv_in = iconv_open("UTF-8", db.file.jet3 ? "ISO-8859-1" : "UTF-16LE");
    if (db.mdb->iconv_in == iconv_t(-1)) // NOLINT(performance-no-int-to-ptr): iconv_open's failure value
        finish(Failure::Damaged);

    if (!mdb_read_catalog(db.mdb, MDB_ANY))
        finish(Failure::Damaged);
    for (unsigned i = 0; i < db.mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(db.mdb->catalog, i));
        const bool table = entry->object_type == MDB_TABLE;
        if (!table)
            continue;
        if (entry->table_pg >= db.file.pages)
            finish(Failure::Damaged);
        if (mdb_is_user_table(entry) && entry->object_name[0] != '~')
            db.tables.push_back(entry);
    }
    // The catalogue itself: a file cut at a page boundary opens, and lists
    // fewer tables than it has, unless its rows are counted.
    MdbCatalogEntry *catalogue = mdb_get_catalogentry_by_name(db.mdb, "MSysObjects");
    if (catalogue) {
        MdbTableDef *table = mdb_read_table(catalogue);
        if (!table || !pagesWithinFile(db.file, table))
            finish(Failure::Damaged);
        mdb_read_columns(table);
        if (!readRows(table, [](const auto &) {}))
            finish(Failure::Damaged);
        mdb_free_tabledef(table);
    }
    return db;
}

void list(Database &db)
{
    for (MdbCatalogEntry *entry : db.tables) {
        MdbTableDef *table = mdb_read_table(entry);
        if (!table || !pagesWithinFile(db.file, table))
            finish(Failure::Damaged);
        mdb_free_tabledef(table);
        frame(Tag::Table, fileText(db.file, entry->object_name));
    }
}

void read(Database &db, unsigned long index)
{
    if (index >= db.tables.size())
        finish(Failure::NoSuchTable);
    MdbCatalogEntry *entry = db.tables[index];
    const std::string name = fileText(db.file, entry->object_name);
    MdbTableDef *table = mdb_read_table(entry);
    if (!table || !pagesWithinFile(db.file, table))
        finish(Failure::Damaged, name);
    mdb_read_columns(table);
    for (unsigned c = 0; c < table->num_cols; ++c) {
        auto *column = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, c));
        frame(Tag::Column, std::string(1, char(column->col_type)) + fileText(db.file, column->name));
    }
    uint64_t cells = 0;
    uint64_t chars = 0;
    const bool counted = readRows(table, [&](const std::vector<std::unique_ptr<char[]>> &values) {
        frame(Tag::Row, {});
        for (unsigned c = 0; c < table->num_cols; ++c) {
            auto *column = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, c));
            // Pictures and other binary data are no text.
            if (column->col_type == MDB_OLE || column->col_type == MDB_BINARY ||
                column->col_type == MDB_COMPLEX) {
                frame(Tag::Value, {});
                continue;
            }
            const char *value = values[c].get();
            if (strnlen(value, BindSize) >= BindSize - 1)
                finish(Failure::TextTooLong, name);
            const std::string text = fileText(db.file, value);
            cells += 1;
            chars += text.size();
            if (cells > MaxCells || chars > MaxBytes)
                finish(Failure::TooLarge, name);
            frame(Tag::Value, text);
        }
    });
    if (!counted)
        finish(Failure::Damaged, name);
    mdb_free_tabledef(table);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!Sanitized) {
        const rlimit memory{AddressSpace, AddressSpace};
        setrlimit(RLIMIT_AS, &memory);
    }
    const rlimit cpu{CpuSeconds, CpuSeconds};
    setrlimit(RLIMIT_CPU, &cpu);
    const int framesFd = dup(STDOUT_FILENO);
    const int nowhere = open("/dev/null", O_WRONLY);
    if (framesFd < 0 || nowhere < 0 || dup2(nowhere, STDOUT_FILENO) < 0)
        return 2;
    frames = fdopen(framesFd, "wb");
    if (!frames)
        return 2;
    static char buffer[1 << 16];
    std::setvbuf(frames, buffer, _IOFBF, sizeof buffer);

    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (!((mode == "list" && argc == 3) || (mode == "read" && argc == 4))) {
        std::fputs("usage: kuaidi-access list FILE | read FILE INDEX\n", stderr);
        return 2;
    }
    Database db = openDatabase(argv[2]);
    frame(Tag::Version, db.file.jet3 ? "3" : "4");
    if (mode == "list")
        list(db);
    else
        read(db, std::strtoul(argv[3], nullptr, 10));
    finish(Failure::None);
}
