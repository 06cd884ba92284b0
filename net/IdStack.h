#pragma once
// The process-wide socket stack. This first form only keeps the usage count that
// components take while they exist; the socket functions are added with the
// socket layer.

class TIdStack {
public:
    // Every library component holds one usage reference while it exists.
    static void IncUsage();
    static void DecUsage();
    static int UsageCount();
};
