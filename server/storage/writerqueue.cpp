#include "server/storage/writerqueue.h"

#include <QFileInfo>
#include <QHash>

namespace lumeko::server {

std::shared_ptr<WriterQueue> WriterQueue::forFile(const QString &path)
{
    static std::mutex mutex;
    static QHash<QString, std::weak_ptr<WriterQueue>> queues;
    const QString key = QFileInfo(path).absoluteFilePath();
    std::lock_guard lock(mutex);
    std::shared_ptr<WriterQueue> queue = queues.value(key).lock();
    if (!queue) {
        queue = std::make_shared<WriterQueue>();
        queues.insert(key, queue);
    }
    return queue;
}

bool WriterQueue::enter(std::chrono::milliseconds patience)
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = m_next++;
    if (m_turn.wait_for(lock, patience, [&] { return m_serving == ticket; })) return true;
    m_gaveUp.insert(ticket);
    return false;
}

void WriterQueue::leave()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_serving;
        while (m_gaveUp.erase(m_serving) > 0)
            ++m_serving;
    }
    m_turn.notify_all();
}

} // namespace lumeko::server
