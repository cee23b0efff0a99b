#pragma once
// Lines of text kept compactly. A line is split into a text part and a tail
// of bytes written as two upper-case hexadecimal digits and a blank each (an
// RX line's frame); the tail is kept as its bytes, and equal text parts of
// consecutive lines once (an RX line's label changes once a second). A
// day's 12.3 million RX lines of 100 characters cost about 30 bytes each;
// a line without a hexadecimal tail costs its length and 12 bytes. Lines are
// rendered back exactly when asked for. The panes of the main window and the
// replay share it.

#include "app/core/ChunkedVector.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace glowkite {

// Texts in which consecutive equal ones are kept once.
class TTextRuns {
public:
    void Append(std::string_view text)
    {
        if (count_ == 0 || Run(runStarts_.size() - 1) != text) {
            runStarts_.push_back(count_);
            texts_.append(text);
            runEnds_.push_back(texts_.size());
        }
        ++count_;
    }
    void Clear()
    {
        runStarts_.clear();
        runEnds_.clear();
        texts_.clear();
        texts_.shrink_to_fit();
        count_ = 0;
    }
    std::size_t Count() const { return count_; }
    std::string_view Text(std::size_t i) const
    {
        const auto it = std::upper_bound(runStarts_.begin(), runStarts_.end(), static_cast<std::uint32_t>(i));
        return Run(static_cast<std::size_t>(it - runStarts_.begin()) - 1);
    }
    // The first index whose text is text, or -1.
    std::int64_t Find(std::string_view text) const
    {
        for (std::size_t r = 0; r < runStarts_.size(); ++r)
            if (Run(r) == text)
                return runStarts_[r];
        return -1;
    }
    std::size_t ByteSize() const { return texts_.capacity() + runStarts_.capacity() * 4 + runEnds_.capacity() * 8; }

private:
    std::string_view Run(std::size_t r) const
    {
        const std::size_t begin = r == 0 ? 0 : runEnds_[r - 1];
        return std::string_view(texts_).substr(begin, runEnds_[r] - begin);
    }

    std::vector<std::uint32_t> runStarts_; // index of the first text of each run
    std::vector<std::size_t> runEnds_;     // end offset of each run's text in texts_
    std::string texts_;
    std::uint32_t count_ = 0;
};

class TLineStore {
public:
    void Append(std::string_view line)
    {
        std::size_t tail = line.size();
        while (tail >= 3 && line[tail - 1] == ' ' && IsHexDigit(line[tail - 2]) && IsHexDigit(line[tail - 3]))
            tail -= 3;
        texts_.Append(line.substr(0, tail));
        const std::size_t line_ = ends_.size();
        if (line_ % ChunkLines == 0)
            chunkBase_.push_back(bytes_.size());
        for (std::size_t p = tail; p < line.size(); p += 3)
            bytes_.push_back(static_cast<std::uint8_t>(HexValue(line[p]) << 4 | HexValue(line[p + 1])));
        ends_.push_back(static_cast<std::uint32_t>(bytes_.size() - chunkBase_.back()));
    }
    void Clear()
    {
        texts_.Clear();
        bytes_.clear();
        ends_.clear();
        chunkBase_.clear();
    }
    // Kept for callers that know the size ahead; blocks grow without copying.
    void Reserve(std::size_t, std::size_t) {}
    std::size_t Count() const { return ends_.size(); }
    bool Empty() const { return ends_.empty(); }
    std::string Line(std::size_t i) const
    {
        std::string line;
        AppendLine(i, line);
        return line;
    }
    // Appends line i to out.
    void AppendLine(std::size_t i, std::string &out) const
    {
        static constexpr char digits[] = "0123456789ABCDEF";
        out.append(texts_.Text(i));
        const std::size_t base = chunkBase_[i / ChunkLines];
        const std::size_t begin = base + (i % ChunkLines == 0 ? 0 : ends_[i - 1]);
        const std::size_t end = base + ends_[i];
        for (std::size_t p = begin; p < end; ++p) {
            const std::uint8_t b = bytes_[p];
            out += digits[b >> 4];
            out += digits[b & 0x0F];
            out += ' ';
        }
    }
    // The length of line i in characters.
    std::size_t Length(std::size_t i) const
    {
        const std::size_t begin = i % ChunkLines == 0 ? 0 : ends_[i - 1];
        return texts_.Text(i).size() + 3 * (ends_[i] - begin);
    }
    // Memory held, in bytes.
    std::size_t ByteSize() const
    {
        return texts_.ByteSize() + bytes_.ByteSize() + ends_.ByteSize() + chunkBase_.capacity() * 8;
    }

private:
    // Lines per chunk: a line's end offset is counted from its chunk's first
    // byte, so 32 bits suffice for any day.
    static constexpr std::size_t ChunkLines = 4096;

    static bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
    static int HexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

    TTextRuns texts_;
    TChunkedVector<std::uint8_t, 16> bytes_;
    TChunkedVector<std::uint32_t> ends_;
    std::vector<std::size_t> chunkBase_;
};

} // namespace glowkite
