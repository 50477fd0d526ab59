#include "app/recorder/capture_matcher.h"

namespace velk::recorder {

void CaptureMatcher::addSubmission(std::string url, std::string body, int64_t nowMs, bool multipart,
                                   std::vector<std::string> fileFields) {
    dropStale(nowMs);
    if (m_submissions.size() >= kMaxSubmissions) m_submissions.pop_front();
    m_submissions.push_back(
        {std::move(url), std::move(body), nowMs, multipart, std::move(fileFields)});
}

void CaptureMatcher::addRedirect(std::string url, int64_t nowMs) {
    dropStale(nowMs);
    if (m_redirects.size() >= kMaxRedirects) m_redirects.pop_front();
    m_redirects.push_back({std::move(url), {}, nowMs, false, {}});
}

void CaptureMatcher::addNavigation(std::string url, bool post, int64_t nowMs) {
    dropStale(nowMs);
    for (auto r = m_redirects.begin(); r != m_redirects.end(); ++r)
        if (r->url == url) {
            m_redirects.erase(r);
            return;
        }
    // A flood of navigations while one waits: the oldest are dropped, never
    // the memory grown.
    if (m_queue.size() >= kMaxQueued) m_queue.pop_front();
    m_queue.push_back({std::move(url), post, nowMs});
}

std::vector<CaptureMatcher::Ready> CaptureMatcher::takeReady(int64_t nowMs) {
    dropStale(nowMs);
    std::vector<Ready> ready;
    while (!m_queue.empty()) {
        Navigation& head = m_queue.front();
        Ready out;
        out.url = head.url;
        out.post = head.post;
        if (head.post) {
            auto match = m_submissions.begin();
            while (match != m_submissions.end() && match->url != head.url) ++match;
            if (match != m_submissions.end()) {
                out.postData = std::move(match->body);
                // The engine sends multipart when a parameter is a file: a
                // multipart form without one is replayed urlencoded, as recorded.
                const bool multipart = match->multipart && !match->fileFields.empty();
                out.headers = multipart ? kMultipartContentType : kFormContentType;
                out.fileFields = std::move(match->fileFields);
                m_submissions.erase(match);
            } else if (nowMs - head.atMs < kBodyWaitMs) {
                break;
            } else {
                out.bodyMissing = true;
            }
        }
        ready.push_back(std::move(out));
        m_queue.pop_front();
    }
    return ready;
}

void CaptureMatcher::clear() {
    m_submissions.clear();
    m_redirects.clear();
    m_queue.clear();
}

void CaptureMatcher::dropStale(int64_t nowMs) {
    while (!m_submissions.empty() && nowMs - m_submissions.front().atMs > kSubmissionLifeMs)
        m_submissions.pop_front();
    // A redirect's hop follows at once; one that never came must not swallow a
    // later visit to the same address.
    while (!m_redirects.empty() && nowMs - m_redirects.front().atMs > kBodyWaitMs)
        m_redirects.pop_front();
}

}  // namespace velk::recorder
