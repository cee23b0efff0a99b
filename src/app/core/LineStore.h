#pragma once
// Lines of text kept compactly: one byte buffer and the end offset of each
// line. A million 100-character lines cost about 104 MB instead of a string
// object per line. The panes of the main window and the replay share it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace glowkite {

class TLineStore {
public:
    void Append(std::string_view line)
    {
        bytes_.append(line);
        ends_.push_back(bytes_.size());
    }
    void Clear()
    {
        bytes_.clear();
        ends_.clear();
    }
    void Reserve(std::size_t lines, std::size_t bytes)
    {
        ends_.reserve(lines);
        bytes_.reserve(bytes);
    }
    std::size_t Count() const { return ends_.size(); }
    bool Empty() const { return ends_.empty(); }
    std::string_view Line(std::size_t i) const
    {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(bytes_).substr(begin, ends_[i] - begin);
    }
    std::size_t ByteSize() const { return bytes_.size(); }

private:
    std::string bytes_;
    std::vector<std::size_t> ends_;
};

} // namespace glowkite
