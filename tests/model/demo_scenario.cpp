#include "demo_scenario.h"

namespace velk::test {
namespace {

using velk::scenario::CReqParam;
using velk::scenario::CReqParamFunction;
using velk::scenario::CRequest;
using velk::scenario::CScenario;

constexpr const char* kServer = "$gvar(host,127.0.0.1):$gvar(port,8080)";

CRequest& addRequest(CScenario& s, const char* name, int32_t method, const char* uri) {
    auto r = std::make_unique<CRequest>();
    r->setName(name);
    r->setMethod(method);
    r->setSecure(CRequest::kPlain);
    r->setServer(kServer);
    r->setUri(uri);
    return *s.requests().addChild(0, std::move(r));
}

CReqParamFunction& addParam(CRequest& r, const char* name, bool encode, int32_t kind) {
    auto p = std::make_unique<CReqParam>();
    p->setNameAndEncode(name, encode);
    auto f = std::make_unique<CReqParamFunction>();
    f->setKind(kind);
    CReqParamFunction& component = *p->insert(-1, std::move(f));
    r.insertParam(-1, std::move(p));
    return component;
}

}  // namespace

void buildDemoScenario(CScenario& s) {
    auto& general = s.general();
    general.keepAlive = true;
    general.useUserAgent = true;
    general.userAgent = "VELK demo shopper";

    auto& run = s.run();
    run.clients = 10;
    run.requestsPerUser = 5;
    run.cycling = false;
    run.startDelay = 100;
    run.description = "Browsing the demo shop";
    run.useReportDirectory = true;
    run.reportDirectory = ".";
    run.logDirectory = "logs";
    run.rounding = 0;  // 0.01 ms, as a new scenario: the demo site answers within a millisecond
    run.useInitialSequence = true;
    run.initialSequence = {"loginform", "login"};
    run.mainSequence = {"home", "products", "product", "search", "slow"};

    addRequest(s, "loginform", CRequest::kGet, "login");
    CRequest& login = addRequest(s, "login", CRequest::kPost, "login");
    login.setContentType("application/x-www-form-urlencoded");
    addParam(login, "user", true, CReqParamFunction::kUserNumber).setText("shopper");
    addParam(login, "password", true, CReqParamFunction::kStaticText).makeLiteral("secret");
    addParam(login, "token", false, CReqParamFunction::kHiddenParameter).setText("token");

    CRequest& home = addRequest(s, "home", CRequest::kGet, "");
    home.setUseDelay(true);
    home.setDelayFrom(0);
    home.setDelayTo(1);
    CReqParamFunction& visit = addParam(home, "visit", true, CReqParamFunction::kSequence);
    visit.setText("v");
    visit.setFrom(1);
    visit.setShift(1000);

    addRequest(s, "products", CRequest::kGet, "products");
    CRequest& product = addRequest(s, "product", CRequest::kGet, "product");
    addParam(product, "id", false, CReqParamFunction::kUrl).setText("id");
    CRequest& search = addRequest(s, "search", CRequest::kGet, "search");
    addParam(search, "q", true, CReqParamFunction::kOrderedList)
        .setList("lamp\r\nchair\r\ndesk set\r\nmug");
    addRequest(s, "slow", CRequest::kGet, "slow");
}

}  // namespace velk::test
