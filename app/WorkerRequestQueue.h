// What the download worker asks the main dialog to do. The worker never
// touches a window: it queues a request here, and the queue wakes the dialog
// with one posted message. The dialog takes the requests on its own thread
// and carries them out in the order they were queued. Nothing here waits for
// the dialog, so the worker cannot deadlock with it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

struct WorkerRequest {
    enum class Kind {
        ShowRunning,  // the port is open: the dialog's running state
        Progress,     // `percent` on the progress bar
        Message,      // append `text` to the message box
        ClearMessages,
        Ended,  // the worker has ended; `restore`: undo ShowRunning; `succeeded`: the image arrived
    };
    Kind kind = Kind::Ended;
    uint8_t percent = 0;
    std::wstring text;
    bool restore = false;
    bool succeeded = false;

    static WorkerRequest Running() { return Make(Kind::ShowRunning); }
    static WorkerRequest Progress(uint8_t percent) {
        WorkerRequest request = Make(Kind::Progress);
        request.percent = percent;
        return request;
    }
    // Null clears the box.
    static WorkerRequest Message(const wchar_t* text) {
        WorkerRequest request = Make(text ? Kind::Message : Kind::ClearMessages);
        if (text) request.text = text;
        return request;
    }
    static WorkerRequest Ended(bool restore, bool succeeded = false) {
        WorkerRequest request = Make(Kind::Ended);
        request.restore = restore;
        request.succeeded = succeeded;
        return request;
    }

private:
    static WorkerRequest Make(Kind kind) {
        WorkerRequest request;
        request.kind = kind;
        return request;
    }
};

class WorkerRequestQueue {
public:
    // Dialog thread: where wake-ups go. A null window stops them (the dialog
    // window is going away); requests are still queued and then dropped.
    void SetTarget(HWND window, UINT wakeMessage);
    // Any thread. Consecutive progress requests merge into the latest, so a
    // slow dialog never piles up one request per block.
    void Push(WorkerRequest request);
    // Dialog thread: every request queued so far, oldest first.
    std::deque<WorkerRequest> Take();

private:
    std::mutex mutex;
    std::deque<WorkerRequest> requests;
    HWND target = nullptr;
    UINT wakeMessage = 0;
    bool wakePending = false;  // one posted wake-up at most
};
