#pragma once
// The example scenario examples/demo-shop.vts, made from the model: shoppers
// log in to the demo site with the token of its login form, then browse.
#include "app/scenario/scenario.h"

namespace velk::test {

// Fills a reset scenario.  Every request goes to
// $gvar(host,127.0.0.1):$gvar(port,8080), so velkrun's -host= and -port= move it.
void buildDemoScenario(velk::scenario::CScenario& scenario);

}  // namespace velk::test
