#pragma once
// A new, private folder under the system's temporary folder, made the same
// way on every system (mkdtemp is POSIX only).

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace glowkite::test {

// Creates a new folder prefix + random letters under the temporary folder,
// open to its owner only.
inline std::filesystem::path MakeTempFolder(const std::string &prefix)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 10; ++i)
            name += letters[random() % (sizeof letters - 1)];
        const std::filesystem::path path = std::filesystem::temp_directory_path() / name;
        if (std::filesystem::create_directory(path)) {
            std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace);
            return path;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

} // namespace glowkite::test
