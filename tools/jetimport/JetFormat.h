// The parts of the Jet 3 and Jet 4 file formats that the importer reads itself
// rather than through libmdb: the database definition page (format version,
// code page and the masked database password, which libmdb does not check),
// the fixed layout of pages and table definitions, and the stored form of
// column values (libmdb's text conversion loses dates outside 1900..9999, cuts
// long text at its bind size and rounds currency and decimals through floating
// point). All functions here work on bytes only, so they are tested alone.
#pragma once

#include "platform/runtime/Variant.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace jetimport {

inline constexpr int kJetPageSize = 4096;  // Jet 4
inline constexpr int kJet3PageSize = 2048;

// Versions in byte 0x14 of the definition page.
enum class JetVersion { Jet3, Jet4, Ace, Unknown };

struct JetHeader {
    JetVersion version = JetVersion::Unknown;
    QString password;      // the database password; empty when the file has none
    double created = 0;    // creation date (the serial number the password mask comes from)
    uint32_t pageKey = 0;  // non-zero when the data pages are encrypted
    int codePage = 0;      // the code page of Jet 3 text (0: not recorded)
};

// Reads the definition page (the first page of the file, at least 0x98 bytes).
// Returns nothing when the bytes are not a Jet or ACE definition page.
// The region from 0x18 (126 bytes in Jet 3, 128 in Jet 4) is RC4-decrypted
// with the fixed header key. Jet 4 masks the password further: the 40 bytes at
// 0x42 are XOR-ed with the whole part of the creation date at 0x72 (a 32-bit
// little-endian integer, repeated). Jet 3 keeps 20 single-byte characters there,
// in the file's code page (at 0x3c).
std::optional<JetHeader> parseHeader(const QByteArray& firstPage);

// Where things lie in the pages of one format version (Jet 3 or Jet 4).
struct JetLayout {
    int pageSize;
    int rowCountOffset;      // data pages: the number of rows; the row table follows
    int rowColumnCountSize;  // a row starts with its column count (1 or 2 bytes)
    // Table definition (from the start of its first page)
    int tdefRowCount;    // rows the table records
    int tdefAutoNumber;  // the last AutoNumber value given
    int tdefNumVarCols;
    int tdefNumCols;
    int tdefNumIndexes;      // logical indexes
    int tdefNumRealIndexes;  // index entries
    int tdefUsageMap;        // page << 8 | row of the table's usage map
    int tdefColumnsStart;    // after the index counts block
    int realIndexCountSize;  // per real index before the columns
    int columnEntrySize;
    int columnNumber;  // in a column entry: its number in the rows' null mask
    int columnFlags;
    int columnMisc;          // Jet 3: the code page of a text column
    int nameLengthSize;      // names: a 1-byte (Jet 3) or 2-byte (Jet 4) length
    int realIndexEntrySize;  // 10 key columns, usage map, first page, flags
    int realIndexLead;       // unknown bytes before the key columns
    int realIndexFlags;      // offset of the flags byte
    int logicalIndexEntrySize;
    int logicalIndexLead;  // unknown bytes before the index number
};
const JetLayout& layoutOf(JetVersion version);  // Jet3 or Jet4

// Text in a single- or double-byte code page (Jet 3), e.g. 1252 or 932.
// Bytes that the code page does not define become U+FFFD.
class CodePageText {
  public:
    explicit CodePageText(int codePage);
    ~CodePageText();
    CodePageText(const CodePageText&) = delete;
    CodePageText& operator=(const CodePageText&) = delete;
    // False when the system knows no such code page.
    bool known() const { return known_; }
    int codePage() const { return codePage_; }
    QString decode(const uint8_t* data, size_t length) const;

  private:
    int codePage_;
    bool known_ = false;
    bool singleByte_ = false;
    char16_t table_[256] = {};
    void* iconv_ = nullptr;  // iconv_t for double-byte code pages
};

// RC4 applied in place (encryption and decryption are the same operation).
void rc4(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length);

// Text as Jet 4 stores it: UCS-2 little endian, or, when it starts with the
// bytes FF FE, "Unicode compression": runs of one byte per character (the
// high byte 0) and runs of two bytes per character, switched by a 0 byte,
// starting with one-byte runs.
QString decodeText(const uint8_t* data, size_t length);

// Fixed-size values, little endian.
inline uint16_t readU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int64_t readI64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return int64_t(v);
}
double readDouble(const uint8_t* p);
float readFloat(const uint8_t* p);

// Currency: a 64-bit integer, the amount times 10,000.
inline rt::Currency decodeCurrency(const uint8_t* p) { return rt::Currency{readI64(p)}; }

// Decimal ("numeric"), 17 bytes: a sign byte (0x80 negative), then the 96..128
// bit magnitude as four 32-bit little-endian words, the most significant word
// first. Returns false when the magnitude does not fit 127 bits.
bool decodeDecimal(const uint8_t* p, int scale, rt::Decimal& out);

// Date/Time: a double counting days from 1899-12-30, the time as the fraction
// of a day (before 1899-12-30 the fraction still counts forward). Throws
// rt::Error(Overflow) outside the years 100..9999.
QDateTime decodeDate(const uint8_t* p);

// Replication id: 16 bytes as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
QString decodeGuid(const uint8_t* p);

// The 12-byte header in a row that stands for a Memo or OLE value.
struct LongValueRef {
    enum Kind { Inline, SinglePage, PageChain } kind = Inline;
    uint32_t length = 0;   // bytes of the whole value
    uint32_t pageRow = 0;  // page << 8 | row of the first part (not Inline)
};
LongValueRef decodeLongValueRef(const uint8_t* p);

}  // namespace jetimport
