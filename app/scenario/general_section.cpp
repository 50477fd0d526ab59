#include "app/scenario/general_section.h"

#include "app/scenario/vts_reader.h"
#include "app/scenario/vts_writer.h"

namespace velk::scenario {

void CGeneralSection::reset() {
    proxyMask = kDefaultProxyMask;
    proxyEmulation = false;
    useAuthorization = false;
    authorizationPassword.clear();
    authorizationUser.clear();
    userAgent = kDefaultUserAgent;
    useUserAgent = false;
    keepAlive = false;
    ignoreErrors = true;
    useDelays = false;
    projectName.clear();
    useSpeedLimit = true;
    speedLimit = -1;
    newVisitor = false;
}

void CGeneralSection::write(VtsWriter& out) const {
    out.writeSchema();
    out.writeFlag(ignoreErrors);
    out.writeFlag(keepAlive);
    out.writeFlag(proxyEmulation);
    out.writeFlag(useUserAgent);
    out.writeFlag(useAuthorization);
    out.writeFlag(useSpeedLimit);
    out.writeInt(speedLimit);
    out.writeFlag(useDelays);
    out.writeString(userAgent);
    out.writeString(authorizationUser);
    out.writeString(authorizationPassword);
    out.writeString(proxyMask);
}

void CGeneralSection::read(VtsReader& in) {
    // Not in this record: the file's options block sets it when it has one.
    newVisitor = false;
    if (!in.beginRecord()) return;
    // A failed read leaves its field alone and fails every later one.
    in.readFlag(ignoreErrors);
    in.readFlag(keepAlive);
    in.readFlag(proxyEmulation);
    in.readFlag(useUserAgent);
    in.readFlag(useAuthorization);
    in.readFlag(useSpeedLimit);
    in.readInt(speedLimit);
    in.readFlag(useDelays);
    in.readString(userAgent);
    in.readString(authorizationUser);
    in.readString(authorizationPassword);
    in.readString(proxyMask);
}

}  // namespace velk::scenario
