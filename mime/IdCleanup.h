#pragma once
// WithCleanup: the library's "try ... finally". The clean-up runs after the work,
// also when the work raises; an error of the clean-up's own then replaces the
// work's, as the original finally blocks behave. A destructor (scope guard) cannot
// do that last part, and several clean-ups here raise (closing a stream that finds
// its file blocked), so those use this instead.

template <class Work, class Cleanup>
void WithCleanup(Work&& work, Cleanup&& cleanup)
{
    try {
        work();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}
