#include "net/connection_pool.h"

#include "json/error.h"
#include <QString>

namespace orvana::net {
namespace {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

ConnectionPool::ConnectionPool() {
    InitCurlOnce();
    m_share = curl_share_init();
    if (!m_share)
        throw Error(ErrorKind::Io, QStringLiteral("Cannot set up the network transport"));
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &ConnectionPool::Lock);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &ConnectionPool::Unlock);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

ConnectionPool::~ConnectionPool() {
    for (CURLM* lane : m_idle)
        curl_multi_cleanup(lane);
    curl_share_cleanup(m_share);
}

void ConnectionPool::Lock(CURL*, curl_lock_data data, curl_lock_access, void* pool) {
    static_cast<ConnectionPool*>(pool)->m_shareLocks[std::size_t(data)].lock();
}

void ConnectionPool::Unlock(CURL*, curl_lock_data data, void* pool) {
    static_cast<ConnectionPool*>(pool)->m_shareLocks[std::size_t(data)].unlock();
}

ConnectionPool::Lease ConnectionPool::lease() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            CURLM* lane = m_idle.back();
            m_idle.pop_back();
            return Lease(this, lane);
        }
    }
    CURLM* lane = curl_multi_init();
    if (!lane)
        throw Error(ErrorKind::Io, QStringLiteral("Cannot set up the network transport"));
    return Lease(this, lane);
}

void ConnectionPool::giveBack(CURLM* lane) {
    std::lock_guard lock(m_mutex);
    m_idle.push_back(lane);
}

ConnectionPool::Lease::Lease(Lease&& other) noexcept
    : m_pool(other.m_pool), m_lane(std::exchange(other.m_lane, nullptr)) {}

ConnectionPool::Lease::~Lease() {
    if (m_lane)
        m_pool->giveBack(m_lane);
}

} // namespace orvana::net
