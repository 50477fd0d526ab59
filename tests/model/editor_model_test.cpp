// What the editor needs from the model: swapping two requests, copying "Use
// delays" into every request, and list values typed with any kind of line end.
#include <gtest/gtest.h>

#include "app/scenario/requests_container.h"

namespace velk::scenario {
namespace {

CRequest* add(CRequestsContainer& c, int32_t parent, const char* name) {
    auto r = std::make_unique<CRequest>();
    r->setName(name);
    return c.addChild(parent, std::move(r));
}

std::string order(const CRequestsContainer& c) {
    std::string out;
    for (const CRequest* r : c.flattened()) out += (out.empty() ? "" : " ") + r->getName();
    return out;
}

TEST(RequestsContainerSwap, ExchangesRequestsAndKeepsTheTreesShape) {
    CRequestsContainer c;
    const int32_t a = add(c, 0, "a")->getId();
    add(c, a, "a1");
    const int32_t b = add(c, 0, "b")->getId();
    ASSERT_TRUE(c.swapRequests(a, b));
    // The children stay with the node, so a1 now follows b.
    EXPECT_EQ(order(c), "b a1 a");
    EXPECT_EQ(c.findNode(a)->children.size(), 0u);
    EXPECT_EQ(c.findNode(b)->children.size(), 1u);
    EXPECT_FALSE(c.swapRequests(a, 999));
    EXPECT_EQ(order(c), "b a1 a");
}

TEST(RequestsContainerUseDelays, ReachesEveryRequestOfTheTree) {
    CRequestsContainer c;
    const int32_t a = add(c, 0, "a")->getId();
    add(c, add(c, a, "a1")->getId(), "a11");
    add(c, 0, "b");
    for (bool use : {true, false}) {
        c.setUseDelayAll(use);
        for (const CRequest* r : c.flattened()) EXPECT_EQ(r->getUseDelay(), use) << r->getName();
    }
}

TEST(ReqParamFunctionList, EveryLineEndSeparatesElements) {
    const std::pair<const char*, const char*> cases[] = {
        {"red\r\ngreen,blue", "red,green%2cblue"},
        {"red\ngreen,blue\n", "red,green%2cblue"},
        {"\nred\rgreen\r\n", "red,green"},
        {"a\n\nb", "a,,b"},
    };
    for (const auto& [typed, stored] : cases) {
        CReqParamFunction f;
        f.setKind(CReqParamFunction::kRandomFromList);
        f.setList(typed);
        EXPECT_EQ(f.storedText(), stored) << typed;
        EXPECT_EQ(f.expression(false, false).find_first_of("\r\n"), std::string::npos);
    }
    CReqParamFunction f;
    f.setList("red\ngreen,blue");
    EXPECT_EQ(f.getList(), "red\r\ngreen,blue");
}

}  // namespace
}  // namespace velk::scenario
