// An Access file of arbitrary bytes (seeded with real files), read the way
// the program reads one: through the reader process. The program's side
// must come through every input with rows or a message; the reader may die
// on what the library cannot take, but a sanitizer report in the reader's
// own code is a finding, and so is any hang the watchdog does not end.
#include "FuzzScratch.h"
#include "platform/Error.h"
#include "platform/legacy/LegacyReader.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

// The top frame of a sanitizer report that is not the sanitizer's own, or
// an empty text when there is no report.
std::string faultingFrame(const std::string& complaints)
{
    if (complaints.find("runtime error:") != std::string::npos)
        return "undefined behaviour in the reader"; // only the reader's code is instrumented
    if (complaints.find("ERROR: AddressSanitizer") == std::string::npos) return {};
    std::istringstream in(complaints.substr(complaints.find("ERROR: AddressSanitizer")));
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("    #") != 0) continue;
        if (line.find("asan") != std::string::npos ||
            line.find("interceptor") != std::string::npos ||
            line.find("sanitizer_common") != std::string::npos)
            continue;
        return line;
    }
    return {};
}

void read(const QString& file, const QString& table, QString* tables)
{
    vidra::legacy::Request request;
    request.file = file;
    request.table = table;
    std::uint64_t expected = 0, rows = 0;
    size_t columns = 0;
    try {
        vidra::legacy::readTable(
            request,
            [&](const std::vector<vidra::legacy::Column>& c, std::uint64_t n) {
                columns = c.size();
                expected = n;
            },
            [&](const std::vector<vidra::legacy::Cell>& cells) {
                if (cells.size() != columns) std::abort();
                for (const auto& c : cells)
                    if (!c.null && !c.data) std::abort();
                ++rows;
            });
        if (rows != expected) std::abort(); // a good read has all its rows
    } catch (const vidra::DbError& e) {
        const std::string frame = faultingFrame(vidra::legacy::lastReaderComplaints());
        if (!frame.empty() &&
            (frame.find("vidra") != std::string::npos || frame.find("undefined") == 0)) {
            std::fprintf(stderr, "the reader failed in its own code:\n%s\n",
                         vidra::legacy::lastReaderComplaints().c_str());
            std::abort();
        }
        // The first table the file does have, to read it next.
        const QString m = e.message();
        const qsizetype at = m.indexOf(QLatin1String("its tables are: '"));
        if (tables && at >= 0) {
            const qsizetype from = at + 17;
            *tables = m.mid(from, m.indexOf(u'\'', from) - from);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vidra::legacy::setReaderProgram(QStringLiteral(VIDRA_FUZZ_LEGACY_READER));
    vidra::legacy::setStallTimeout(3000);
    // For the reader processes only: the library's own leaks are not ours.
    ::setenv("ASAN_OPTIONS", "detect_leaks=0:symbolize=1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzsupport::scratchDir() + "/old.mdb";
    fuzzsupport::writeFile(path, data, size);
    const QString file = QString::fromStdString(path);
    QString other;
    read(file, QStringLiteral("Vlasnici"), &other);
    if (!other.isEmpty()) read(file, other, nullptr);
    return 0;
}
