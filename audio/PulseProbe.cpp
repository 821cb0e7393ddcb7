#include "audio/PulseProbe.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

namespace {

struct ServerAnswer
{
    bool bAnswered = false;
    bool bHasSink = false;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* user)
{
    auto* answer = static_cast<ServerAnswer*>(user);
    answer->bAnswered = true;
    answer->bHasSink =
        info != nullptr && info->default_sink_name != nullptr && info->default_sink_name[0] != '\0';
}

// Runs one round of the loop, waiting at most until deadline; false once it has passed.
bool Iterate(pa_mainloop* loop, std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return false;
    if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0 ||
        pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
        return false;
    return true;
}

PulseServerState Ask(pa_mainloop* loop, pa_context* context,
                     std::chrono::steady_clock::time_point deadline)
{
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return PulseServerState::Absent;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY)
            break;
        if (!PA_CONTEXT_IS_GOOD(state))
            return PulseServerState::Absent;
        if (!Iterate(loop, deadline))
            return PulseServerState::Silent;
    }
    ServerAnswer answer;
    pa_operation* op = pa_context_get_server_info(context, OnServerInfo, &answer);
    if (op == nullptr)
        return PulseServerState::Absent;
    while (!answer.bAnswered && pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        if (!Iterate(loop, deadline)) {
            pa_operation_cancel(op);
            break;
        }
    }
    pa_operation_unref(op);
    if (!answer.bAnswered)
        return PulseServerState::Silent;
    return answer.bHasSink ? PulseServerState::Ready : PulseServerState::NoSink;
}

} // namespace

PulseServerState ProbePulseServer(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr)
        return PulseServerState::Absent;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "sorvane-probe");
    PulseServerState state = PulseServerState::Absent;
    if (context != nullptr) {
        state = Ask(loop, context, deadline);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return state;
}
