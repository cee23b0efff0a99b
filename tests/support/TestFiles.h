#pragma once
// Helpers for tests that work on real files: a temporary folder, whole-file
// reads and writes, a private runtime folder; on POSIX also a guard that
// makes permission bits count for root and a forked child, on Windows a file
// nobody else can open.

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#ifndef _WIN32
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

namespace glowkite::test {

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() : path_(MakeTempFolder("gk-test-")) {}
    ~TempDir()
    {
        std::error_code ignored;
        // Folders a test made read-only must be opened again to be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::string operator/(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string &name, const std::string &bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Sets (or with nullptr removes) an environment variable on either system.
inline void SetEnv(const char *name, const char *value)
{
#ifdef _WIN32
    ::_putenv_s(name, value ? value : "");
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

// Points XDG_RUNTIME_DIR at a private folder of this test while it lives, and
// the log locks (GLOWKITE_LOCK_DIR, which this process and its children
// inherit) into it, so that locks of tests running side by side never meet
// each other nor the user's own.
class RuntimeDirOverride {
public:
    RuntimeDirOverride() : runtime_("XDG_RUNTIME_DIR"), locks_("GLOWKITE_LOCK_DIR")
    {
        SetEnv("XDG_RUNTIME_DIR", dir_.path().string().c_str());
        SetEnv("GLOWKITE_LOCK_DIR", (dir_.path() / "locks").string().c_str());
    }
    RuntimeDirOverride(const RuntimeDirOverride &) = delete;
    RuntimeDirOverride &operator=(const RuntimeDirOverride &) = delete;

    const std::filesystem::path &path() const { return dir_.path(); }

private:
    // Puts an environment variable back as it was.
    class SavedVariable {
    public:
        explicit SavedVariable(const char *name) : name_(name)
        {
            if (const char *old = std::getenv(name)) {
                old_ = old;
                had_ = true;
            }
        }
        ~SavedVariable() { SetEnv(name_, had_ ? old_.c_str() : nullptr); }

    private:
        const char *name_;
        std::string old_;
        bool had_ = false;
    };

    SavedVariable runtime_, locks_;
    TempDir dir_; // made 0700, as a runtime folder is
};

#ifdef _WIN32

// No permission bit keeps a Windows owner from reading a file; a file held
// open without sharing cannot be opened by anyone else while this lives.
class FileHeldExclusively {
public:
    explicit FileHeldExclusively(const std::filesystem::path &path)
        : handle_(::CreateFileW(path.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~FileHeldExclusively()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    FileHeldExclusively(const FileHeldExclusively &) = delete;
    FileHeldExclusively &operator=(const FileHeldExclusively &) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

#else

// Root passes every permission check; these tests need read-only files and
// folders to be read-only. Drops the capabilities that override permission
// bits from this thread's effective set while it lives (nothing to do for
// an ordinary user).
class PermissionsEnforced {
public:
    PermissionsEnforced()
    {
        if (::geteuid() != 0)
            return;
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~PermissionsEnforced()
    {
        if (active_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    PermissionsEnforced(const PermissionsEnforced &) = delete;
    PermissionsEnforced &operator=(const PermissionsEnforced &) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// Runs `body` in a forked child and returns its exit status (or -signal).
// Lets a test hold locks, set resource limits or die without touching itself.
template <typename Body> int RunInChild(Body body)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

#endif

} // namespace glowkite::test
