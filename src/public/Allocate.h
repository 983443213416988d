// Allocation without exceptions across the library's interface.
#pragma once

#include <new>
#include <stdexcept>

// Runs allocate(); false instead of an exception when memory runs out or a
// size is beyond what a container can hold.
template <class F>
bool Allocate(F&& allocate)
{
    try {
        allocate();
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}
