#pragma once
// Tells a waiting thread that a worker thread has finished its work. On Windows the waiting
// thread keeps handling the messages other threads send to its windows while it waits: a worker
// may be blocked sending an answer to a window of the very thread that waits for it to end.
#include <memory>

class TThreadEndSignal {
public:
    TThreadEndSignal();
    ~TThreadEndSignal();
    TThreadEndSignal(const TThreadEndSignal&) = delete;
    TThreadEndSignal& operator=(const TThreadEndSignal&) = delete;

    // Called once by the worker, as the last thing it does.
    void Set() noexcept;
    // Returns once Set has been called. Only messages sent to this thread's windows are handled
    // meanwhile; posted messages and input stay queued.
    void Wait() noexcept;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
