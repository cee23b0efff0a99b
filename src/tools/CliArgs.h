#pragma once
// A small command-line reader for glowkite-cli: options are taken out one
// by one, and whatever is left over is an error.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace glowkite {

// A command line that cannot be understood; the message says why.
class TCliError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TCliArgs {
public:
    TCliArgs(int argc, char **argv);
    explicit TCliArgs(std::vector<std::string> args) : args_(std::move(args)) {}

    // The first word (the command), taken out.
    std::string Command();
    // The next word that is not an option, taken out.
    std::string Positional(const char *what);
    bool Flag(const std::string &name);
    // "--name VALUE" or "--name=VALUE"; an empty VALUE is refused.
    std::string Value(const std::string &name, const std::string &fallback);
    std::int64_t Integer(const std::string &name, std::int64_t fallback, std::int64_t min, std::int64_t max);
    double Real(const std::string &name, double fallback, double min, double max);
    std::string Choice(const std::string &name, std::initializer_list<const char *> choices, const char *fallback);
    void ExpectNoMore() const;

    static std::int64_t ParseInteger(const std::string &name, const std::string &text, std::int64_t min,
                                     std::int64_t max);

private:
    std::vector<std::string> args_;
};

} // namespace glowkite
