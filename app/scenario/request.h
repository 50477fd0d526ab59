#pragma once
// CRequest: one HTTP request of a scenario, with its owned parameters.  Each new
// request takes the next number of a process-wide counter as its id (ids start
// at 1); loading a scenario file starts the counter again.
//
// Not thread-safe, except the id counter (atomic): a request is guarded by the
// lock of the CRequestsContainer that holds it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/scenario/recorded_outcome.h"
#include "app/scenario/req_param.h"

namespace velk::scenario {

class CRequest {
public:
    // Stored in the scenario file as these numbers; 1 and 2 are the only ones
    // older programs know, and they refuse to run a request with another.
    enum Method : int32_t {
        kGet = 1,
        kPost = 2,
        kPut = 3,
        kPatch = 4,
        kDelete = 5,
        kHead = 6,
        kOptions = 7,
    };
    // The method's name as a script writes it ("GET" for kGet); empty for a
    // number that names no method.
    static std::string_view methodName(int32_t method);
    static constexpr int32_t kMethodCount = 7;
    enum Secure : int32_t { kUnknown = 0, kPlain = 1, kHttps = 2 };

    CRequest();
    CRequest(const CRequest&) = delete;
    CRequest& operator=(const CRequest&) = delete;

    // Sets the id counter to 0, so that the next request gets id 1.
    static void resetIdCounter();
    // The id the last request got, and setting it back: a read that fails
    // restores the counter, so later requests do not take ids in use.
    static int32_t lastId();
    static void restoreIdCounter(int32_t lastId);

    int32_t getId() const { return m_id; }
    const std::string& getName() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }
    int32_t getDelayFrom() const { return m_delayFrom; }
    void setDelayFrom(int32_t seconds) { m_delayFrom = seconds; }
    int32_t getDelayTo() const { return m_delayTo; }
    void setDelayTo(int32_t seconds) { m_delayTo = seconds; }
    bool getUseDelay() const { return m_useDelay; }
    void setUseDelay(bool use) { m_useDelay = use; }
    int32_t getMethod() const { return m_method; }
    void setMethod(int32_t method) { m_method = method; }
    const std::string& getServer() const { return m_server; }
    void setServer(std::string server) { m_server = std::move(server); }
    const std::string& getUri() const { return m_uri; }
    void setUri(std::string uri) { m_uri = std::move(uri); }
    int32_t getSecure() const { return m_secure; }
    void setSecure(int32_t secure) { m_secure = secure; }
    const std::string& getContentType() const { return m_contentType; }
    void setContentType(std::string type) { m_contentType = std::move(type); }

    // Server and URI from a URL ("https://host:8443/a?b" gives host:8443 and
    // a?b); the delay switch goes off, and an unknown secure value is taken from
    // the scheme.
    void setUrl(std::string_view url);

    int32_t paramCount() const { return static_cast<int32_t>(m_params.size()); }
    CReqParam* getParam(int32_t index);
    const CReqParam* getParam(int32_t index) const;
    // Index -1, or one past the end or beyond, appends.  Returns the parameter.
    CReqParam* insertParam(int32_t index, std::unique_ptr<CReqParam> param);
    // First parameter of that name, compared without regard to case; or null.
    CReqParam* findParam(std::string_view name);
    // False when no parameter has that name.
    bool removeParam(std::string_view name);

    // What the server gave while recording, if it was kept.
    const std::optional<RecordedOutcome>& getOutcome() const { return m_outcome; }
    void setOutcome(std::optional<RecordedOutcome> outcome) { m_outcome = std::move(outcome); }

    // Appends the request's section of a test script, with checkLines (lines
    // of request keys) after its header line.  False, after the section head,
    // when the method names no method (methodName() is empty).
    bool writeSection(std::string& out, std::string_view checkLines = {}) const;

private:
    int32_t m_id;
    std::string m_name;
    int32_t m_delayFrom = 0;
    int32_t m_delayTo = 0;
    bool m_useDelay = false;
    int32_t m_method = 0;
    std::string m_server;
    std::string m_uri;
    int32_t m_secure = kUnknown;
    std::string m_contentType;
    std::vector<std::unique_ptr<CReqParam>> m_params;
    std::optional<RecordedOutcome> m_outcome;
};

}  // namespace velk::scenario
