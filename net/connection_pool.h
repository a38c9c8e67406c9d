#pragma once

#include <array>
#include <curl/curl.h>
#include <mutex>
#include <vector>

namespace orvana::net {

// The open connections, DNS answers and TLS sessions that every transport of one session
// shares, on any number of threads.
//
// DNS answers and TLS sessions sit in one curl share handle, guarded by our locks. Open
// connections do not: libcurl does not support one connection cache used by several threads at
// once. They live in lanes instead: a lane is a multi handle with its own cache of connections,
// leased by one transfer at a time and handed back afterwards with its connections kept alive.
// A lease takes the lane handed back last, so one transfer after another (of one transport or of
// the next one) reuses the same connections, and N transfers at once use at most N lanes.
//
// Thread-safe. A lease is used by the thread that took it; the pool must outlive its leases.
class ConnectionPool {
public:
    ConnectionPool();
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    class Lease {
    public:
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&&) = delete;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease(); // hands the lane back, its connections alive

        [[nodiscard]] CURLM* lane() const noexcept { return m_lane; }
        [[nodiscard]] CURLSH* share() const noexcept { return m_pool->m_share; }

    private:
        friend class ConnectionPool;
        Lease(ConnectionPool* pool, CURLM* lane) : m_pool(pool), m_lane(lane) {}
        ConnectionPool* m_pool;
        CURLM* m_lane;
    };

    // The lane handed back last, or a new one when every lane is leased. Fails with Error(Io)
    // when curl cannot make one.
    [[nodiscard]] Lease lease();

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* pool);
    static void Unlock(CURL*, curl_lock_data data, void* pool);
    void giveBack(CURLM* lane);

    CURLSH* m_share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_shareLocks;
    std::mutex m_mutex;
    std::vector<CURLM*> m_idle; // the one handed back last at the end
};

} // namespace orvana::net
