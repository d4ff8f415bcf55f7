#include "app/WorkerRequestQueue.h"

#include <utility>

void WorkerRequestQueue::SetTarget(HWND window, UINT message) {
    std::lock_guard lock(mutex);
    target = window;
    wakeMessage = message;
    wakePending = false;
    if (target && !requests.empty())
        wakePending = ::PostMessageW(target, wakeMessage, 0, 0) != FALSE;
}

void WorkerRequestQueue::Push(WorkerRequest request) {
    std::lock_guard lock(mutex);
    using Kind = WorkerRequest::Kind;
    if (request.kind == Kind::Progress && !requests.empty() &&
        requests.back().kind == Kind::Progress) {
        requests.back().percent = request.percent;
    } else {
        requests.push_back(std::move(request));
    }
    // Posted under the lock, so the target cannot be cleared between the
    // check and the post: the worker never posts to a destroyed window.
    if (target && !wakePending) wakePending = ::PostMessageW(target, wakeMessage, 0, 0) != FALSE;
}

std::deque<WorkerRequest> WorkerRequestQueue::Take() {
    std::lock_guard lock(mutex);
    wakePending = false;
    return std::exchange(requests, {});
}
