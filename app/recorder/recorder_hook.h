#pragma once
// RecorderHook: turns the browser's navigations into requests of the open
// scenario while recording is on.  One instance for the program; the recorder
// page feeds it every navigation before it leaves (URL, the body exactly as
// sent, the navigation's extra header lines) and it hands each capture to the
// attached sink (the scenario's CRequestsContainer), then calls the notifier.
//
// Thread-safe: one lock is held for the whole of every operation, including
// the sink's addRecorded (which takes the container's own lock: hook first,
// then container) and the notifier, which must therefore only post.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/recorder/script_request.h"
#include "app/scenario/recorded_request_sink.h"

namespace velk::recorder {

class RecorderHook {
public:
    // Calendar seconds; tests pass their own clock.
    using Clock = std::function<int64_t()>;

    explicit RecorderHook(Clock clock = {});
    RecorderHook(const RecorderHook&) = delete;
    RecorderHook& operator=(const RecorderHook&) = delete;

    // Recording on; the next capture has no pause before it.
    void start();
    void stop();
    bool isRecording() const;
    // Recording off and no sink; with the notifier too at exit.
    void clear(bool notifierToo = false);
    // The container that receives captures (null: capture nothing).
    void attach(scenario::RecordedRequestSink* sink);
    void setNotifier(std::function<void()> notifier);
    // The next request made is number 1 (a new scenario).
    static void resetCounter();

    // One navigation the browser is about to make.  post is what the browser
    // said of the method: a POST whose body is empty or could not be read
    // stays a POST.  Returns true when it became a request.
    bool onBeforeNavigate(std::string_view url, std::string_view postData, std::string_view headers,
                          bool post = false, std::vector<std::string> fileFields = {});
    // One fetch() or XMLHttpRequest call of the page, after its answer came
    // (see script_request.h).  Returns true when it became a request.
    bool onScriptRequest(const ScriptRequest& request);

private:
    // The pause since the previous capture; the caller holds m_mutex.
    int32_t takePause();

    mutable std::mutex m_mutex;
    Clock m_clock;
    bool m_recording = false;                         // guarded by m_mutex
    std::optional<int64_t> m_lastCapture;             // guarded by m_mutex
    scenario::RecordedRequestSink* m_sink = nullptr;  // guarded by m_mutex
    std::function<void()> m_notifier;                 // guarded by m_mutex
};

}  // namespace velk::recorder
