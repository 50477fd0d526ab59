#pragma once
// CGeneralSection: a scenario's HTTP settings (keep-alive, errors, proxy
// emulation, authorization, user agent, speed limit).  A plain value; the
// scenario's lock serializes its users.
#include <cstdint>
#include <string>

namespace velk::scenario {

class VtsReader;
class VtsWriter;

struct CGeneralSection {
    static constexpr const char* kDefaultProxyMask = "192.168.$C2.$C1";
    static constexpr const char* kDefaultUserAgent = "* VELK *";

    // A new section has an empty proxy mask; reset() fills in the default.
    std::string proxyMask;
    bool proxyEmulation = false;
    bool useAuthorization = false;
    std::string authorizationPassword;
    std::string authorizationUser;
    std::string userAgent = kDefaultUserAgent;
    bool useUserAgent = false;
    bool keepAlive = false;
    bool ignoreErrors = true;
    bool useDelays = false;
    // Set from the document title before every run; never stored in the file.
    std::string projectName;
    bool useSpeedLimit = true;
    int32_t speedLimit = -1;  // bits per second; -1 no limit
    // newvisitor: each test-sequence iteration starts as a new visitor.  Kept in
    // the file's options block (see scenario_file.cpp), not in this record,
    // which older programs read field by field.
    bool newVisitor = false;

    void reset();
    void write(VtsWriter& out) const;
    // Overwrites every stored field; the project name stays.
    void read(VtsReader& in);
};

}  // namespace velk::scenario
