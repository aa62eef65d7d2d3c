#pragma once
// Stopping vidra-db import while the reader of Access files runs.
#include <atomic>
#include <csignal>
#include <pthread.h>
#include <thread>

namespace vidradb {

// Waiting for the reader of Access files does not look at signals, and the
// reader may stay silent for long on a damaged file. While it runs, SIGINT
// and SIGTERM are taken by a thread of their own, which ends the reader at
// once: the wait ends, and the import stops as interrupted.
class ReaderWatch
{
public:
    // stop: the flag the ordinary signal handler sets.
    explicit ReaderWatch(const volatile std::sig_atomic_t& stop);
    ~ReaderWatch();
    ReaderWatch(const ReaderWatch&) = delete;
    ReaderWatch& operator=(const ReaderWatch&) = delete;

    bool stopped() const { return m_stopped || m_stop; }

private:
    const volatile std::sig_atomic_t& m_stop;
    sigset_t m_oldMask;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_stopped{false};
    std::thread m_thread;
};

} // namespace vidradb
