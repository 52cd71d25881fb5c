// Running an operation whose only failure by exception is running out of memory, so that the
// result alone reports it: image and media operations never throw.
#pragma once
#include <new>
#include <stdexcept>

template <typename Operation>
bool Guarded(Operation operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}
