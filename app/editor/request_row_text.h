#pragma once
// The cells of a request's row in the editor's request list: its URL (scheme,
// server, "/" and URI), its data (every parameter as name=value, joined by "&")
// and its delay ("2-5 sec", or "3 sec" when both ends are equal).
//
// Plain functions; the caller holds the request's container lock.
#include <string>

namespace velk::scenario {
class CRequest;
class CReqParam;
}  // namespace velk::scenario

namespace velk::editor {

std::string requestUrlText(const velk::scenario::CRequest& request);
std::string requestDataText(const velk::scenario::CRequest& request);
std::string requestDelayText(const velk::scenario::CRequest& request);
// A parameter's value as the editor shows it: commas as typed, parts joined by "&".
std::string parameterValueText(const velk::scenario::CReqParam& param);

}  // namespace velk::editor
