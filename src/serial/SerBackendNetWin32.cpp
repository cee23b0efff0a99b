// Network ports on Windows: not built yet. Opening one fails with a clear
// message instead of taking the address for a COM device.
#include "serial/SerBackend.h"
#include "serial/SerNet.h"

#include <system_error>
#include <windows.h>

namespace glowkite {

namespace {

class TSerBackendNetUnsupported final : public TSerBackend {
public:
    std::string DevicePath(const std::string &name) const override { return name; }
    // A mistyped address is told as such, even here.
    bool Open(const std::string &path) override
    {
        const TSerNetAddress a = ParseNetAddress(path);
        error_ = !a.Error.empty() ? a.Error : "network ports (tcp://, rfc2217://) are not supported on this system";
        return false;
    }
    void Close() override {}
    bool IsOpen() const override { return false; }
    bool IsNotFound(int) const override { return false; }
    bool ApplyDCB(const TSerDCB &) override { return false; }
    bool SetQueueSizes(std::uint32_t, std::uint32_t) override { return false; }
    bool SetImmediateReads() override { return false; }
    bool SetEventMask(std::uint32_t) override { return false; }
    TSerWaitOutcome WaitCommEvent(std::uint32_t &events, const TSerWaitEvent &) override
    {
        events = 0;
        return TSerWaitOutcome::Failed;
    }
    bool Statistics(TSerCommStatus &status) override
    {
        status = {};
        return false;
    }
    bool Escape(int) override { return false; }
    bool Read(void *, std::size_t, std::size_t &got, int) override
    {
        got = 0;
        return false;
    }
    TSerWriteOutcome StartWrite(const void *, std::size_t, std::size_t &written) override
    {
        written = 0;
        return TSerWriteOutcome::Failed;
    }
    int WaitWrite(const TSerWaitEvent &, const void *, std::size_t, std::size_t &written) override
    {
        written = 0;
        return -2;
    }
    bool Lost() const override { return false; }
    int LastError() const override { return ERROR_NOT_SUPPORTED; }
    std::string ErrorText(int) const override { return error_; }

private:
    std::string error_;
};

} // namespace

std::unique_ptr<TSerBackend> TSerBackend::CreateNet()
{
    return std::make_unique<TSerBackendNetUnsupported>();
}

} // namespace glowkite
