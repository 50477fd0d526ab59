#include "app/recorder/recorder_hook.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "app/recorder/pair_scan.h"
#include "app/scenario/request.h"

namespace velk::recorder {

using Guard = std::lock_guard<std::mutex>;

RecorderHook::RecorderHook(Clock clock) : m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return static_cast<int64_t>(std::time(nullptr)); };
}

void RecorderHook::start() {
    Guard g(m_mutex);
    m_recording = true;
    m_lastCapture.reset();
}

void RecorderHook::stop() {
    Guard g(m_mutex);
    m_recording = false;
}

bool RecorderHook::isRecording() const {
    Guard g(m_mutex);
    return m_recording;
}

void RecorderHook::clear(bool notifierToo) {
    Guard g(m_mutex);
    m_recording = false;
    m_sink = nullptr;
    if (notifierToo) m_notifier = nullptr;
}

void RecorderHook::attach(scenario::RecordedRequestSink* sink) {
    Guard g(m_mutex);
    m_sink = sink;
}

void RecorderHook::setNotifier(std::function<void()> notifier) {
    Guard g(m_mutex);
    m_notifier = std::move(notifier);
}

void RecorderHook::resetCounter() {
    scenario::CRequest::resetIdCounter();
}

int32_t RecorderHook::takePause() {
    const int64_t now = m_clock();
    int32_t seconds = 0;
    if (m_lastCapture) {
        // A clock set back gives no pause rather than a negative delay; a
        // pause longer than a delay can hold is held at the largest one.
        const int64_t pause = now > *m_lastCapture ? now - *m_lastCapture : 0;
        seconds =
            static_cast<int32_t>(std::min<int64_t>(pause, std::numeric_limits<int32_t>::max()));
    }
    m_lastCapture = now;
    return seconds;
}

bool RecorderHook::onScriptRequest(const ScriptRequest& request) {
    Guard g(m_mutex);
    if (!m_recording || !m_sink) return false;
    scenario::RecordedNavigation navigation = scriptRequestNavigation(request);
    if (navigation.secure == 0) return false;
    navigation.pauseSeconds = takePause();
    m_sink->addRecorded(navigation);
    if (m_notifier) m_notifier();
    return true;
}

bool RecorderHook::onBeforeNavigate(std::string_view url, std::string_view postData,
                                    std::string_view headers, bool post,
                                    std::vector<std::string> fileFields) {
    Guard g(m_mutex);
    if (!m_recording || !m_sink) return false;
    const int32_t scheme = schemeOf(url);
    if (scheme == 0) return false;

    scenario::RecordedNavigation navigation;
    navigation.secure = scheme;
    navigation.pauseSeconds = takePause();
    navigation.method = (post || !postData.empty()) ? 2 : 1;
    navigation.contentType = "text/html";

    const size_t question = url.find('?');
    navigation.url.assign(url.substr(0, question));
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : url.substr(question + 1);
    if (!headers.empty()) applyHeaderLines(headers, navigation);
    // A body replaces the query: the query of a posted URL is not recorded.
    const std::string_view parameters = !postData.empty() ? postData : query;
    for (auto& pair : scanPairs(parameters)) navigation.pairs.push_back(std::move(pair));
    navigation.fileFields = std::move(fileFields);

    m_sink->addRecorded(navigation);
    if (m_notifier) m_notifier();
    return true;
}

}  // namespace velk::recorder
