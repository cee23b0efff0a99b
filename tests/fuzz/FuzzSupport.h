#pragma once
// Shared by the fuzz targets: a broken invariant aborts with a message (so
// libFuzzer keeps the input as a crash, and the corpus replay fails), a
// reader that takes fields off the front of an input, and an in-memory file
// for the code that reads files by name.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace glowkite::fuzz {

[[noreturn]] inline void Fail(const char *file, int line, const char *condition, const std::string &detail)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n  %s\n", file, line, condition, detail.c_str());
    std::abort();
}

// The detail is only built when the check fails.
#define FUZZ_CHECK(condition, detail)                                                                        \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::glowkite::fuzz::Fail(__FILE__, __LINE__, #condition, (detail));                                \
    } while (0)

// Bytes as printable text for a failure message: \xNN for the others.
inline std::string Escaped(std::string_view bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// Takes fields off the front of an input; past its end every field is 0 or
// empty, so any input decodes to something.
class TFuzzInput {
public:
    TFuzzInput(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    std::size_t Left() const { return size_ - pos_; }

    std::uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
    std::uint16_t Word()
    {
        const std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | Byte() << 8);
    }
    std::string_view Bytes(std::size_t n)
    {
        n = n < Left() ? n : Left();
        std::string_view s(reinterpret_cast<const char *>(data_ + pos_), n);
        pos_ += n;
        return s;
    }
    std::string_view Rest() { return Bytes(Left()); }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A file in memory, reachable by the path /proc/self/fd/N, that each input
// overwrites: no disk traffic per input.
class TMemFile {
public:
    TMemFile() : fd_(::memfd_create("glowkite-fuzz", MFD_CLOEXEC))
    {
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~TMemFile() { ::close(fd_); }
    TMemFile(const TMemFile &) = delete;
    TMemFile &operator=(const TMemFile &) = delete;

    const std::string &Path() const { return path_; }
    void Set(std::string_view bytes) const
    {
        if (::ftruncate(fd_, 0) != 0 ||
            (!bytes.empty() && ::pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))) {
            std::perror("writing the in-memory file");
            std::abort();
        }
    }

private:
    int fd_;
    std::string path_;
};

} // namespace glowkite::fuzz
