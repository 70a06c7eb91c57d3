// SPDX-License-Identifier: MIT
// A small record that the natives read without a lock while the host (or
// another native) replaces it: a schedule, the home's place and zone, a
// cache of the day's sun events.
//
// There are two copies. Readers take the published one and announce
// themselves on its counter; a writer fills the other copy and publishes it
// with one store. So a reader sees one whole record, old or new, never a mix.
// Before filling a copy, the writer waits until the readers still on it
// (those that took it before the previous publication) have left; readers
// never wait, and a reader stays only as long as its read function runs.
//
// Writers exclude each other with a flag of their own: write() waits for it,
// try_write() gives up when another writer holds it (a cache can skip a
// store; a setting cannot).
#ifndef SH_SYS_PUBLISH_H
#define SH_SYS_PUBLISH_H

#include <atomic>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#endif

inline void sh_publish_pause() {
#if defined(_WIN32)
    SwitchToThread();
#else
    sched_yield();
#endif
}

template <typename T> class ShPublished {
  public:
    // fnRead(const T &) on the published copy; its result is returned.
    template <typename F> auto read(F fnRead) const {
        for (;;) {
            const uint32_t uIndex = m_uPublished.load(std::memory_order_seq_cst);
            m_auReaders[uIndex].fetch_add(1, std::memory_order_seq_cst);
            // Still published after the announcement: no writer can start on
            // this copy until the counter drops again.
            if (m_uPublished.load(std::memory_order_seq_cst) == uIndex) {
                auto result = fnRead(m_astCopy[uIndex]);
                m_auReaders[uIndex].fetch_sub(1, std::memory_order_release);
                return result;
            }
            m_auReaders[uIndex].fetch_sub(1, std::memory_order_release);
        }
    }

    // fnWrite(T &spare, const T &current) fills the spare copy and answers
    // whether to publish it. Waits for any other writer.
    template <typename F> bool write(F fnWrite) {
        while (m_uWriting.exchange(1, std::memory_order_acquire) != 0)
            sh_publish_pause();
        return write_held(fnWrite);
    }

    // As write(), but false at once, nothing written, while another writer
    // is at work.
    template <typename F> bool try_write(F fnWrite) {
        if (m_uWriting.exchange(1, std::memory_order_acquire) != 0)
            return false;
        return write_held(fnWrite);
    }

  private:
    template <typename F> bool write_held(F fnWrite) {
        const uint32_t uCurrent = m_uPublished.load(std::memory_order_relaxed);
        const uint32_t uSpare = 1 - uCurrent;
        while (m_auReaders[uSpare].load(std::memory_order_seq_cst) != 0)
            sh_publish_pause();
        const bool bPublish = fnWrite(m_astCopy[uSpare], m_astCopy[uCurrent]);
        if (bPublish)
            m_uPublished.store(uSpare, std::memory_order_seq_cst);
        m_uWriting.store(0, std::memory_order_release);
        return bPublish;
    }

    T m_astCopy[2]{};
    std::atomic<uint32_t> m_uPublished{0};
    mutable std::atomic<uint32_t> m_auReaders[2]{};
    // A word, not a bool: a one-byte exchange is a libatomic call on some
    // targets (riscv64), a word's is one instruction everywhere.
    std::atomic<uint32_t> m_uWriting{0};
};

#endif // SH_SYS_PUBLISH_H
