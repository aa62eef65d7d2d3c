// The CSV reader of vidra-db import on arbitrary bytes. Besides crashes and
// hangs: every record of an accepted file, written out as CSV again, reads
// back the same (values, missing values, the separator); no value holds a
// NUL byte, and a file holding one is refused.
#include "tools/CsvReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using vidradb::CsvReader;

struct Field
{
    bool null = true;
    std::string text;
    bool operator==(const Field&) const = default;
};
using Record = std::vector<Field>;

struct Parsed
{
    char delimiter = ',';
    std::vector<Record> records;
};

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_csv: %s\n", what);
    std::abort();
}

// Every record, or nothing when the reader refuses the bytes.
std::optional<Parsed> readAll(const char* data, size_t size)
{
    try {
        CsvReader csv(data, size, QStringLiteral("'input'"));
        Parsed out;
        out.delimiter = csv.delimiter();
        std::vector<CsvReader::Cell> fields;
        qint64 lastLine = 1;
        while (csv.next(fields)) {
            if (fields.empty()) fail("a record without fields");
            if (csv.recordLine() < lastLine) fail("record lines go backwards");
            lastLine = csv.recordLine();
            const double done = csv.fraction();
            if (!(done >= 0.0 && done <= 1.0)) fail("progress out of range");
            Record r;
            for (const CsvReader::Cell& c : fields) {
                if (c.null) {
                    if (c.size) fail("a missing value with bytes");
                    r.push_back(Field{});
                    continue;
                }
                if (c.size && !c.data) fail("a value without data");
                if (c.size && std::memchr(c.data, 0, c.size)) fail("a NUL byte in a value");
                r.push_back(Field{false, std::string(c.data, c.size)});
            }
            out.records.push_back(std::move(r));
        }
        return out;
    } catch (const vidradb::Failure&) {
        return std::nullopt;
    }
}

// A value as a CSV writer puts it: quoted when it holds any separator, a
// quote or a line break, is empty text, or starts with a byte-order mark.
std::string written(const Field& f)
{
    if (f.null) return {};
    const std::string& t = f.text;
    if (!t.empty() && t.find_first_of(",;\t\"\r\n") == std::string::npos &&
        t.compare(0, 3, "\xEF\xBB\xBF") != 0)
        return t;
    std::string q = "\"";
    for (const char c : t) {
        q += c;
        if (c == '"') q += '"';
    }
    return q + '"';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    const std::optional<Parsed> first = readAll(bytes, size);
    if (!first) return 0; // refused with a message: that is fine
    if (size && std::memchr(bytes, 0, size)) fail("a file with a NUL byte was accepted");

    // Written out with either line end, the records read back the same.
    const std::string lineEnd = size % 2 ? "\r\n" : "\n";
    std::string csv;
    for (const Record& r : first->records) {
        for (size_t i = 0; i < r.size(); ++i) {
            if (i) csv += first->delimiter;
            csv += written(r[i]);
        }
        csv += lineEnd;
    }
    const std::optional<Parsed> again = readAll(csv.data(), csv.size());
    if (!again) fail("the records written out are refused");
    if (again->delimiter != first->delimiter) fail("the separator changed");
    if (again->records != first->records) fail("the records changed");
    return 0;
}
