// SPDX-License-Identifier: MIT
// The host services handed to the plug-in: a counting allocator, a log sink,
// one mutex and event delivery into (simulated) VMs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "plugin.h"

namespace shhost {

struct PostedEvent {
    uint32_t vm;
    std::string name;
    int32_t value;
};

struct MemoryReport {
    long blocks;  // live now
    size_t bytes; // live now
    long peakBlocks;
    size_t peakBytes;
    long allocations;
};

// One set of services per process: the plug-in takes plain function pointers.
class Services {
  public:
    static Services &get();

    // Callbacks, then the two names. Returns nothing: the plug-in refuses
    // silently; init tells whether everything arrived.
    void bindTo(const PluginApi &api, const std::string &delayVar, const std::string &secondVar);

    void setLogStream(FILE *out) { log_ = out; }
    // Events posted since the last call, in posting order.
    std::vector<PostedEvent> takeEvents();
    // The plug-in's last log line since the last call, or empty.
    std::string takeLastLog();
    MemoryReport memory() const;

  private:
    static void *hostMalloc(size_t size);
    static void hostFree(void *block);
    static void hostLog(const char *line);
    static bool mutexCreate(void **mutex);
    static bool mutexLock(void *mutex);
    static bool mutexUnlock(void *mutex);
    static bool mutexDestroy(void **mutex);
    static bool postEvent(uint32_t vmId, const char **names, qo_object *values, int32_t count,
                          bool flag, int32_t *errCode);

    mutable std::mutex m_; // guards everything below
    FILE *log_ = stdout;
    long blocks_ = 0;
    size_t bytes_ = 0;
    long peakBlocks_ = 0;
    size_t peakBytes_ = 0;
    long allocations_ = 0;
    std::vector<PostedEvent> events_;
    std::string lastLog_;
};

} // namespace shhost
