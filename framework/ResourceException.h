// CResourceException: thrown when a window class, a stock object or another
// system resource a window needs cannot be obtained. Constructors that fail
// this way leave nothing behind; window procedures never let it escape.
#pragma once

#include <stdexcept>

class CResourceException : public std::runtime_error {
public:
    explicit CResourceException(const char* what) : std::runtime_error(what) {}
};
