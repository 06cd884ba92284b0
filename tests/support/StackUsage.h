#pragma once
// Holds one usage reference on the shared socket stack for a scope, as a component
// does while it exists, so tests can use GStack().

#include "net/IdStack.h"

class StackUsage {
public:
    StackUsage() { TIdStack::IncUsage(); }
    ~StackUsage() { TIdStack::DecUsage(); }
    StackUsage(const StackUsage&) = delete;
    StackUsage& operator=(const StackUsage&) = delete;
};
