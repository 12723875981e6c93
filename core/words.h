// Numbers typed as whole words (command lines, settings given as text,
// timeline files): "12x", "" and " 12" are no numbers, nor are values
// beyond the type's range.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <string>

inline bool word_to_long(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != 0)
        return false;
    value = v;
    return true;
}

// "inf" and "nan" read as numbers here; callers check the range.
inline bool word_to_double(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != 0)
        return false;
    value = v;
    return true;
}
