#pragma once
// Runs an action that must raise E and returns (a copy of) what it raised, so a test can
// look at the message and data; records a failure when nothing is raised.

#include <gtest/gtest.h>

#include "mime/IdGlobal.h"

template <class E, class F>
E Caught(F&& action)
{
    try {
        action();
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return E(String());
}
