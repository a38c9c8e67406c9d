#pragma once

namespace orvana::json::detail {

// Counts one level of nesting for as long as it lives, so that every way out of a recursive step,
// failures included, restores the depth.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) noexcept : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& m_depth;
};

} // namespace orvana::json::detail
