#pragma once
// Library classes shared by the serial component and its settings groups.

#include <functional>
#include <initializer_list>
#include <mutex>

namespace glowkite {

// Base of the settings groups: an update counter and one change callback
// that the owning component installs. While the counter is above 0 no
// notification reaches the owner, so a group copied as a whole notifies once.
class TSerPersistent {
public:
    using TChangeEvent = std::function<void(TSerPersistent &sender)>;

    TSerPersistent() = default;
    // A copy carries the values only; the callback belongs to one owner.
    TSerPersistent(const TSerPersistent &) {}
    TSerPersistent &operator=(const TSerPersistent &) = delete;
    virtual ~TSerPersistent() = default;

    void BeginUpdate() { ++updateCount_; }
    // Lowers the counter (never below 0) and notifies once it is 0.
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    void SetOnChange(TChangeEvent onChange) { onChange_ = std::move(onChange); }

protected:
    void Changed();

private:
    int updateCount_ = 0;
    TChangeEvent onChange_;
};

enum TSerWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A system handle: a file descriptor on POSIX (SerClassesPosix.cpp), a
// Win32 HANDLE on Windows (SerClassesWin32.cpp).
#ifdef _WIN32
using TSerSystemHandle = void *;
inline const TSerSystemHandle kNoSystemHandle = nullptr;
#else
using TSerSystemHandle = int;
inline constexpr TSerSystemHandle kNoSystemHandle = -1;
#endif

// Owns one system handle and closes it when destroyed.
class TSerHandleObject {
public:
    TSerHandleObject() = default;
    explicit TSerHandleObject(TSerSystemHandle handle) : handle_(handle) {}
    TSerHandleObject(const TSerHandleObject &) = delete;
    TSerHandleObject &operator=(const TSerHandleObject &) = delete;
    virtual ~TSerHandleObject();

    TSerSystemHandle Handle() const { return handle_; }
    // Waits until the handle is signalled; -1 ms waits for ever.
    TSerWaitResult WaitFor(int timeoutMs) const;
    // The system error code of the last wait that answered wrError.
    int LastError() const { return lastError_; }

protected:
    TSerSystemHandle handle_ = kNoSystemHandle;

private:
    mutable int lastError_ = 0;
};

class TSerEvent : public TSerHandleObject {
public:
    using TSerHandleObject::TSerHandleObject;
};

// A manual-reset event, initially not signalled: it stays signalled for every
// waiter until Reset. On POSIX an eventfd, so that it can be waited for
// together with a port in one poll(); on Windows an event object.
class TSerWaitEvent : public TSerEvent {
public:
    TSerWaitEvent();
    void SetEvent();
    void ResetEvent();
    bool IsSet() const { return WaitFor(0) == wrSignaled; }
};

// Waits for the first of several handles; answers the index of the first
// signalled one in list order (the order is the priority), -1 on time-out,
// -2 on error (errno or GetLastError holds the code). -1 ms waits for ever.
int WaitForAny(std::initializer_list<const TSerHandleObject *> handles, int timeoutMs);

// A recursive lock: the thread that holds it may enter it again.
class TSerCriticalSection {
public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    void lock() { Enter(); }
    bool try_lock() { return TryEnter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex mutex_;
};

} // namespace glowkite
