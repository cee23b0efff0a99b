#include "tools/CliArgs.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace glowkite {

TCliArgs::TCliArgs(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        args_.emplace_back(argv[i]);
}

std::string TCliArgs::Command()
{
    if (args_.empty())
        return {};
    std::string c = args_.front();
    args_.erase(args_.begin());
    return c;
}

std::string TCliArgs::Positional(const char *what)
{
    for (auto it = args_.begin(); it != args_.end(); ++it) {
        if (it->size() > 1 && (*it)[0] == '-')
            continue;
        std::string v = *it;
        args_.erase(it);
        return v;
    }
    throw TCliError(std::string("missing ") + what);
}

bool TCliArgs::Flag(const std::string &name)
{
    for (auto it = args_.begin(); it != args_.end(); ++it)
        if (*it == name) {
            args_.erase(it);
            return true;
        }
    return false;
}

std::string TCliArgs::Value(const std::string &name, const std::string &fallback)
{
    for (auto it = args_.begin(); it != args_.end(); ++it) {
        std::string v;
        if (*it == name) {
            if (it + 1 == args_.end())
                throw TCliError(name + " needs a value");
            v = *(it + 1);
            args_.erase(it, it + 2);
        } else if (it->rfind(name + "=", 0) == 0) {
            v = it->substr(name.size() + 1);
            args_.erase(it);
        } else {
            continue;
        }
        // An empty value would silently mean "not given" (--port "").
        if (v.empty())
            throw TCliError(name + " needs a value, not an empty text");
        return v;
    }
    return fallback;
}

std::int64_t TCliArgs::ParseInteger(const std::string &name, const std::string &text, std::int64_t min,
                                    std::int64_t max)
{
    std::int64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < min || v > max)
        throw TCliError(name + " takes a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
                        ", not \"" + text + "\"");
    return v;
}

std::int64_t TCliArgs::Integer(const std::string &name, std::int64_t fallback, std::int64_t min, std::int64_t max)
{
    const std::string text = Value(name, "");
    return text.empty() ? fallback : ParseInteger(name, text, min, max);
}

double TCliArgs::Real(const std::string &name, double fallback, double min, double max)
{
    const std::string text = Value(name, "");
    if (text.empty())
        return fallback;
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(v >= min && v <= max))
    {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", min, max);
        throw TCliError(name + " takes a number from " + range + ", not \"" + text + "\"");
    }
    return v;
}

std::string TCliArgs::Choice(const std::string &name, std::initializer_list<const char *> choices,
                             const char *fallback)
{
    const std::string v = Value(name, fallback);
    for (const char *c : choices)
        if (v == c)
            return v;
    std::string list;
    for (const char *c : choices)
        list += (list.empty() ? "" : ", ") + std::string(c);
    throw TCliError(name + " takes one of " + list + ", not \"" + v + "\"");
}

void TCliArgs::ExpectNoMore() const
{
    if (!args_.empty())
        throw TCliError("unexpected argument: " + args_.front());
}

} // namespace glowkite
