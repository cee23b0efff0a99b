// The version resource through the Windows version API.
#include "about/fileUtil.h"

#include <cstdio>
#include <cstring>
#include <vector>
#include <windows.h>

namespace glowkite {

void ReadVersionInfo(const std::string &path, TLblData &data)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return;
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data()))
        return;

    void *value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(info.data(), "\\", &value, &length) && value != nullptr &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(value);
        char text[64];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                      LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                      LOWORD(fixed->dwFileVersionLS));
        data.FixedVersion = text;
    }

    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length) ||
        value == nullptr || length < 4)
        return;
    const auto *translation = static_cast<const WORD *>(value);
    const WORD language = translation[0];
    const WORD codePage = translation[1];

    const struct {
        const char *key;
        std::string *field;
    } strings[] = {{"FileVersion", &data.FileVersion},
                   {"FileDescription", &data.FileDescription},
                   {"LegalCopyright", &data.LegalCopyright}};
    for (const auto &s : strings) {
        char query[128];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\%s", language, codePage,
                      s.key);
        // The text up to its NUL, never past the length the API gives.
        if (VerQueryValueA(info.data(), query, &value, &length) && value != nullptr && length >= 1)
            s.field->assign(static_cast<const char *>(value),
                            strnlen(static_cast<const char *>(value), length));
        else
            s.field->clear();
    }

    char name[100] = {};
    if (VerLanguageNameA(language, name, sizeof name) > 0)
        data.LanguageName.assign(name, strnlen(name, sizeof name));
}

} // namespace glowkite
