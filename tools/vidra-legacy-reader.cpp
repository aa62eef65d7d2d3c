// vidra-legacy-reader: reads one table of an Access file and writes it to
// standard output in the stream the program reads (see LegacyFormat.h). It
// runs as a process of its own so that a damaged file that brings the
// library down costs this process only, never the program's.
#include "platform/legacy/JetReader.h"
#include "platform/legacy/LegacyFormat.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using namespace vidra::legacy;

const char kUsage[] = "Usage: vidra-legacy-reader [--codepage N] FILE TABLE [COLUMN...]\n";

class Output
{
public:
    std::string buf;
    void flushIfFull()
    {
        if (buf.size() >= (1u << 16)) flush();
    }
    void flush()
    {
        const char* p = buf.data();
        size_t left = buf.size();
        while (left > 0) {
            const ssize_t n = ::write(STDOUT_FILENO, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) std::_Exit(3); // the reading side is gone
            p += n;
            left -= size_t(n);
        }
        buf.clear();
    }
};

} // namespace

int main(int argc, char** argv)
{
    JetReadOptions options;
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "--codepage") == 0) {
        options.codePage = std::atoi(argv[i + 1]);
        if (options.codePage <= 0 || options.codePage > 65535) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        i += 2;
    }
    if (argc - i < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string file = argv[i++];
    options.table = argv[i++];
    for (; i < argc; ++i)
        options.columns.emplace_back(argv[i]);

    Output out;
    out.buf.append(kStreamMagic, 4);
    std::uint64_t rows = 0;
    JetSink sink;
    sink.table = [&](const std::vector<JetColumn>& columns, std::uint64_t expected) {
        out.buf.push_back('T');
        putU64(out.buf, expected);
        putU32(out.buf, std::uint32_t(columns.size()));
        for (const JetColumn& c : columns) {
            putStr(out.buf, c.name);
            out.buf.push_back(char(c.kind));
            putU32(out.buf, std::uint32_t(c.size));
        }
    };
    sink.row = [&](const std::vector<JetCell>& cells) {
        out.buf.push_back('R');
        for (const JetCell& c : cells) {
            putU32(out.buf, c.null ? 0 : std::uint32_t(c.size + 1));
            if (!c.null) out.buf.append(c.data, c.size);
        }
        ++rows;
        out.flushIfFull();
    };
    try {
        readJetFile(file, options, sink);
        out.buf.push_back('E');
        putU64(out.buf, rows);
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        out.buf.push_back('X');
        putStr(out.buf, e.what());
        out.flush();
        return 1;
    }
}
