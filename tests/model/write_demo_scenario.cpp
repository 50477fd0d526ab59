// Writes the example scenario: write_demo_scenario examples/demo-shop.vts
#include <cstdio>

#include "app/scenario/scenario_file.h"
#include "demo_scenario.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_demo_scenario FILE.vts\n");
        return 2;
    }
    velk::scenario::CScenario scenario;
    scenario.reset();
    velk::test::buildDemoScenario(scenario);
    if (const velk::Status saved = velk::scenario::saveScenarioFile(scenario, argv[1]); !saved) {
        std::fprintf(stderr, "%s\n", saved.message().c_str());
        return 1;
    }
    return 0;
}
