#pragma once
// The writers of one SQLite file in this process, served in the order they came.
//
// SQLite lets one connection write at a time. Left to itself, a writer that finds the file taken
// sleeps and tries again (the busy handler), and under load the late comers win as often as the
// early ones: with a hundred teachers saving at once some saves waited for seconds and a few gave
// up. The connections of a process to one file therefore queue here before they take SQLite's
// write lock; other processes on the same file still meet SQLite's busy handler.

#include "server/storage/storage_export.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

namespace lumeko::server {

class LUMEKO_STORAGE_EXPORT WriterQueue {
public:
    // The queue of the file at this path, shared by every connection of the process to it.
    static std::shared_ptr<WriterQueue> forFile(const QString &path);

    // Waits for this writer's turn; false when the turn did not come within `patience` (the
    // writer then leaves the queue and its place is skipped).
    bool enter(std::chrono::milliseconds patience);
    // Ends the turn of the writer that entered; the next in the queue goes.
    void leave();

private:
    std::mutex m_mutex;
    std::condition_variable m_turn;
    std::uint64_t m_next = 0, m_serving = 0;
    std::set<std::uint64_t> m_gaveUp;
};

} // namespace lumeko::server
