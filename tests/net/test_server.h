#pragma once

#include <QString>
#include <atomic>
#include <cctype>
#include <chrono>
#include <httplib.h>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvana::net::test {

// What a test server saw of one request.
struct SeenRequest {
    std::string method;
    std::string path;
    std::string body;
    std::multimap<std::string, std::string> headers;
    int remotePort = 0; // the client's end of the connection: equal ports, one connection

    [[nodiscard]] std::string header(const std::string& name) const {
        for (const auto& [key, value] : headers)
            if (SameName(key, name))
                return value;
        return {};
    }
    [[nodiscard]] bool hasHeader(const std::string& name) const {
        for (const auto& entry : headers)
            if (SameName(entry.first, name))
                return true;
        return false;
    }

private:
    static bool SameName(const std::string& a, const std::string& b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) !=
                std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }
};

// A loopback HTTP server on an ephemeral port, serving the handlers a test registers. It records
// every request, counts the connections it accepts, and stops (joining its thread) when
// destroyed. Handlers that wait must poll stopping() so the server never outlives its test.
class TestServer {
public:
    TestServer() {
        m_server.set_keep_alive_timeout(1);
        m_server.new_task_queue = [this] {
            return new CountingQueue(m_accepted);
        };
        m_server.set_post_routing_handler(
            [this](const httplib::Request& request, httplib::Response&) {
                std::lock_guard lock(m_mutex);
                m_seen.push_back({request.method,
                                  request.path,
                                  request.body,
                                  {request.headers.begin(), request.headers.end()},
                                  request.remote_port});
            });
    }
    ~TestServer() { stop(); }
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    httplib::Server& server() { return m_server; }

    // Binds 127.0.0.1 on a free port and serves in a thread of its own.
    void start() {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void stop() {
        m_stopping = true;
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + QString::fromUtf8(path);
    }
    [[nodiscard]] bool stopping() const { return m_stopping; }

    // Connections accepted so far (each one is handed to the server's thread pool).
    [[nodiscard]] int acceptedConnections() const { return m_accepted; }

    [[nodiscard]] std::vector<SeenRequest> seen() const {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

    // Sleeps up to total in small steps; returns false when the server is stopping.
    bool pause(std::chrono::milliseconds total) const {
        const auto end = std::chrono::steady_clock::now() + total;
        while (std::chrono::steady_clock::now() < end) {
            if (m_stopping)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return !m_stopping;
    }

private:
    class CountingQueue : public httplib::TaskQueue {
    public:
        explicit CountingQueue(std::atomic<int>& accepted) : m_accepted(accepted) {}
        void enqueue(std::function<void()> fn) override {
            ++m_accepted;
            m_pool.enqueue(std::move(fn));
        }
        void shutdown() override { m_pool.shutdown(); }

    private:
        std::atomic<int>& m_accepted;
        httplib::ThreadPool m_pool{CPPHTTPLIB_THREAD_POOL_COUNT};
    };

    std::atomic<int> m_accepted{0};
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::vector<SeenRequest> m_seen;
};

} // namespace orvana::net::test
