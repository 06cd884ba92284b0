#pragma once
// The message of the library exception an action raises, or "(nothing raised)":
// lets a test compare the exact text of a failure in one line.

#include "smtp/IdException.h"

#include <functional>

inline String RaisedMessage(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EIdException& e) {
        return e.Message();
    }
    return u"(nothing raised)";
}
