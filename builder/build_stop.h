#pragma once

#include <atomic>
#include <exception>

namespace builder {

// Thrown inside a build that was asked to stop; the build ends with the status Stopped.
struct BuildStopped final : std::exception
{
    const char* what() const noexcept override { return "the build was stopped"; }
};

// A request to stop a running build, made from another thread or from a signal handler (the
// atomic store is lock-free, so that is safe). The build looks at it between its steps, between
// the files it copies and while the archiver runs.
class BuildStop final
{
public:
    void request() noexcept { m_requested.store(true, std::memory_order_relaxed); }
    void reset() noexcept { m_requested.store(false, std::memory_order_relaxed); }
    bool requested() const noexcept { return m_requested.load(std::memory_order_relaxed); }
    // Throws BuildStopped once a stop was requested.
    void check() const
    {
        if (requested())
            throw BuildStopped();
    }

private:
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::atomic<bool> m_requested{false};
};

} // namespace builder
