#pragma once
// A vector in fixed blocks: growing never copies what is stored (a
// reallocation of a few hundred megabytes would stall the window and for a
// moment need the memory twice), and at most one block stands unused.

#include <cstddef>
#include <memory>
#include <vector>

namespace glowkite {

template <class T, unsigned BlockShift = 14>
class TChunkedVector {
public:
    static constexpr std::size_t BlockSize = std::size_t{1} << BlockShift;

    void push_back(const T &v)
    {
        if ((size_ & (BlockSize - 1)) == 0 && (size_ >> BlockShift) == blocks_.size())
            blocks_.push_back(std::make_unique_for_overwrite<T[]>(BlockSize));
        blocks_[size_ >> BlockShift][size_ & (BlockSize - 1)] = v;
        ++size_;
    }
    void clear()
    {
        blocks_.clear();
        blocks_.shrink_to_fit();
        size_ = 0;
    }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T &operator[](std::size_t i) const { return blocks_[i >> BlockShift][i & (BlockSize - 1)]; }
    T &operator[](std::size_t i) { return blocks_[i >> BlockShift][i & (BlockSize - 1)]; }
    T &back() { return (*this)[size_ - 1]; }
    const T &back() const { return (*this)[size_ - 1]; }
    std::size_t ByteSize() const { return blocks_.size() * BlockSize * sizeof(T); }

private:
    std::vector<std::unique_ptr<T[]>> blocks_;
    std::size_t size_ = 0;
};

} // namespace glowkite
