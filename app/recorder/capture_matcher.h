#pragma once
// CaptureMatcher: joins the two halves of what the browser reports about a
// navigation.  The request interceptor tells the URL and the method of every
// page and frame navigation but never a POST's body; the capture script in the
// page tells the encoded body of every form the page submits.  A POST
// navigation is released with the body of the submission to the same URL; if
// none comes within kBodyWaitMs it is released without one.  Navigations are
// released in the order the browser made them, so one that waits for its body
// holds back those behind it.  The next hop of a server's redirect is not a
// navigation of its own (the engine follows redirects when it replays): it is
// announced with addRedirect just before it arrives, and dropped.
//
// Not thread-safe: the recorder page's thread owns it.  Bounded: at most
// kMaxSubmissions bodies and kMaxQueued navigations are kept.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace velk::recorder {

class CaptureMatcher {
public:
    static constexpr int64_t kBodyWaitMs = 2000;
    static constexpr int64_t kSubmissionLifeMs = 10000;
    static constexpr size_t kMaxSubmissions = 16;
    static constexpr size_t kMaxQueued = 64;
    static constexpr size_t kMaxRedirects = 16;
    static constexpr const char* kFormContentType =
        "Content-Type: application/x-www-form-urlencoded";
    static constexpr const char* kMultipartContentType = "Content-Type: multipart/form-data";

    // What the recording hook is fed for one navigation.
    struct Ready {
        std::string url;
        std::string postData;
        std::string headers;  // the form's content type line, or empty
        bool post = false;
        bool bodyMissing = false;  // a POST whose body never came
        // A multipart form's file fields (their values in postData are the
        // files' names).
        std::vector<std::string> fileFields;
    };

    // A form submission's target (normalised like the navigation URLs) and
    // its encoded body.
    // A multipart form gives its file fields' names (possibly none).
    void addSubmission(std::string url, std::string body, int64_t nowMs, bool multipart = false,
                       std::vector<std::string> fileFields = {});
    void addNavigation(std::string url, bool post, int64_t nowMs);
    // The browser follows a redirect to url: its navigation is not recorded.
    void addRedirect(std::string url, int64_t nowMs);
    // Navigations that may be recorded now, in the browser's order.
    std::vector<Ready> takeReady(int64_t nowMs);
    // Navigations still held back for a body.
    bool waiting() const { return !m_queue.empty(); }
    void clear();

private:
    struct Submission {
        std::string url, body;
        int64_t atMs;
        bool multipart = false;
        std::vector<std::string> fileFields;
    };
    struct Navigation {
        std::string url;
        bool post;
        int64_t atMs;
    };
    void dropStale(int64_t nowMs);

    std::deque<Submission> m_submissions;
    std::deque<Navigation> m_queue;
    std::deque<Submission> m_redirects;  // url and time; body unused
};

}  // namespace velk::recorder
