// vidra-legacy-reader: reads one table of an Access file and writes it to
// standard output in the stream the program reads (see LegacyFormat.h). It
// runs as a process of its own so that a damaged file that brings the
// library down costs this process only, never the program's.
#include "platform/legacy/JetReader.h"
#include "platform/legacy/LegacyFormat.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define READER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define READER_ASAN 1
#endif
#endif

namespace {

using namespace vidra::legacy;

const char kUsage[] =
    "Usage: vidra-legacy-reader [--memory-limit BYTES] [--codepage N] FILE TABLE [COLUMN...]\n";

// ------------------------------------------------------------ memory
// On a damaged file the library can loop allocating without end. The
// reader is held to a limit (sized by the program from the file) and ends
// with its own exit status once the limit is used up, whoever asked.

[[noreturn]] void memoryUsedUp()
{
    static const char msg[] = "vidra-legacy-reader: the memory allowed is used up\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, msg, sizeof msg - 1);
    ::_exit(kOutOfMemoryStatus);
}

#ifdef READER_ASAN
// The sanitizer reserves terabytes of address space and keeps its own heap,
// so an address-space limit would stop it from starting; instead the heap
// the program asks for is counted through the sanitizer's allocation hooks,
// each block with the sanitizer's own bytes around it (its header and red
// zones, several times the size of the small blocks the library leaks).
constexpr std::size_t kBlockOverhead = 32;
std::atomic<std::size_t> g_heapInUse{0};
std::atomic<std::size_t> g_heapLimit{SIZE_MAX};

void limitMemory(std::size_t bytes)
{
    g_heapLimit = bytes;
}
void allowMoreMemory(std::size_t bytes)
{
    if (g_heapLimit != SIZE_MAX) g_heapLimit += bytes;
}

} // namespace

// The sanitizer's allocator hooks: these names are its interface.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" int __sanitizer_get_ownership(const volatile void* p);
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* p);

extern "C" void __sanitizer_malloc_hook(const volatile void*, std::size_t size)
{
    const std::size_t charge = size + kBlockOverhead;
    if (g_heapInUse.fetch_add(charge, std::memory_order_relaxed) + charge > g_heapLimit)
        memoryUsedUp();
}

extern "C" void __sanitizer_free_hook(const volatile void* p)
{
    // An invalid free is the sanitizer's to report, after this hook.
    if (__sanitizer_get_ownership(p))
        g_heapInUse.fetch_sub(__sanitizer_get_allocated_size(p) + kBlockOverhead,
                              std::memory_order_relaxed);
}
// NOLINTEND(bugprone-reserved-identifier)

namespace {
#else
void limitMemory(std::size_t bytes)
{
    rlimit lim{};
    // Never above a limit the reader was started under.
    if (::getrlimit(RLIMIT_AS, &lim) != 0 || lim.rlim_cur <= bytes) return;
    lim.rlim_cur = bytes;
    ::setrlimit(RLIMIT_AS, &lim);
}
void allowMoreMemory(std::size_t bytes)
{
    rlimit lim{};
    if (::getrlimit(RLIMIT_AS, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return;
    lim.rlim_cur = lim.rlim_max == RLIM_INFINITY || lim.rlim_max - lim.rlim_cur > bytes
                       ? lim.rlim_cur + bytes
                       : lim.rlim_max;
    ::setrlimit(RLIMIT_AS, &lim);
}

} // namespace

// Under the address-space limit malloc fails rather than the process; the
// library and GLib would go on with a null pointer or abort with a message
// of their own, so every failed request ends the reader here instead.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);

extern "C" void* malloc(std::size_t n) noexcept
{
    void* p = __libc_malloc(n);
    if (!p) memoryUsedUp();
    return p;
}

extern "C" void* calloc(std::size_t n, std::size_t size) noexcept
{
    void* p = __libc_calloc(n, size);
    if (!p && n && size) memoryUsedUp();
    return p;
}

extern "C" void* realloc(void* old, std::size_t n) noexcept
{
    void* p = __libc_realloc(old, n);
    if (!p && n) memoryUsedUp(); // realloc(p, 0) frees and may give null
    return p;
}

namespace {
#endif

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

bool number(const char* text, unsigned long long max, unsigned long long& out)
{
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == 0 && errno == 0 && out > 0 && out <= max;
}

} // namespace

int main(int argc, char** argv)
{
    unsigned long long codePage = 0, memoryLimit = 0;
    int i = 1;
    for (; i + 1 < argc; i += 2) {
        const bool cp = std::strcmp(argv[i], "--codepage") == 0;
        if (!cp && std::strcmp(argv[i], "--memory-limit") != 0) break;
        if (!number(argv[i + 1], cp ? 65535 : SIZE_MAX, cp ? codePage : memoryLimit)) {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    // First, before the library is given anything to read.
    if (memoryLimit) limitMemory(std::size_t(memoryLimit));
    if (argc - i < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    JetReadOptions options;
    options.codePage = int(codePage);
    const std::string file = argv[i++];
    options.table = argv[i++];
    for (; i < argc; ++i)
        options.columns.emplace_back(argv[i]);

    Output out;
    out.buf.append(kStreamMagic, 4);
    std::uint64_t rows = 0;
    JetSink sink;
    sink.buffers = [](std::size_t bytes) { allowMoreMemory(bytes); };
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
    sink.warning = [&](const std::string& message) {
        out.buf.push_back('W');
        putStr(out.buf, message);
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
