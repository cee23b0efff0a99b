#pragma once
// Library classes shared by the serial component and its settings groups.

#include <functional>

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

} // namespace glowkite
