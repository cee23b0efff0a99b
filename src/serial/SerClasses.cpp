#include "serial/SerClasses.h"

namespace glowkite {

void TSerPersistent::EndUpdate()
{
    if (updateCount_ > 0)
        --updateCount_;
    if (updateCount_ == 0)
        Changed();
}

void TSerPersistent::Changed()
{
    if (updateCount_ == 0 && onChange_)
        onChange_(*this);
}

} // namespace glowkite
