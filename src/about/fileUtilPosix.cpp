// Without the Windows version API there is no version resource to read:
// InitProgramInfo takes the version compiled in for a non-PE program.
#include "about/fileUtil.h"

namespace glowkite {

void ReadVersionInfo(const std::string &, TLblData &) {}

} // namespace glowkite
