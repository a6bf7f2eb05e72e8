#pragma once
// A bridge is opened by one process at a time. The virtual programmers that
// several processes share through a state folder take this lock there, so
// that a second process finds the programmer busy instead of sharing a chip
// whose writes one side would lose.

#include <string>

namespace velmar {

class PortLock {
  public:
    PortLock() = default;
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;
    ~PortLock() { Release(); }

    // True when this process now holds `path` (created when missing); false
    // when another process holds it or it cannot be made.
    bool Acquire(const std::string& path);
    void Release();
    bool Held() const { return held_; }

  private:
    bool held_ = false;
#if defined(_WIN32)
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace velmar
