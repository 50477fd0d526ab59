// The runner page's plain rules: the passes of a batch run, cycle fields, sequence editing,
// report-name pattern, and what Run Test checks.
#include <gtest/gtest.h>

#include <limits>

#include "app/runner/global_variables.h"
#include "app/runner/pass_plan.h"
#include "app/runner/report_name_pattern.h"
#include "app/runner/run_field_rules.h"
#include "app/runner/run_preconditions.h"
#include "app/runner/sequence_edit.h"
#include "common/temp_dir.h"

namespace velk::runner {
namespace {

TEST(RunFieldRules, StepWhileTyping) {
    struct Case {
        const char* text;
        int32_t previous;
        int32_t value;
        const char* shown;
        bool swap;
    };
    const Case cases[] = {
        {"-1", 1, -1, "-1", true},
        {"2000", 1, 999, "999", false},
        {"-2000", -1, -999, "-999", false},
        {"", 5, 0, "0", false},
        {"", -5, 0, "0", true},
        {"x", 7, 7, "7", false},
        {"-", 3, 3, "-", false},
        {"12", -3, 12, "12", true},
        {"99999999999", 2, 999, "999", false},
    };
    for (const Case& c : cases) {
        const StepEdit e = editStep(c.text, c.previous);
        EXPECT_EQ(e.value, c.value) << c.text;
        EXPECT_EQ(e.text, c.shown) << c.text;
        EXPECT_EQ(e.swapFromTo, c.swap) << c.text;
    }
    EXPECT_EQ(leaveStep("", 4), "4");
    EXPECT_EQ(leaveStep("-", -4), "-4");
    EXPECT_EQ(leaveStep("8", 8), "8");
}

TEST(RunFieldRules, FromAndToWhileTyping) {
    EXPECT_EQ(editCycleBound("-5", 3).value, 0);
    EXPECT_EQ(editCycleBound("-5", 3).text, "0");
    EXPECT_EQ(editCycleBound("12345678", 3).text, "9999999");
    EXPECT_EQ(editCycleBound("1a", 3).text, "3");
    EXPECT_EQ(editCycleBound("42", 3).value, 42);
    EXPECT_EQ(rangeMessage({0, 999999}), "Please enter an integer between 0 and 999999.");
    EXPECT_EQ(lengthMessage(270), "Please enter no more than 270 characters.");
}

TEST(SequenceEdit, InsertGoesAfterTheFirstSelectedEntryOrAtTheEnd) {
    Sequence s = {"a", "b"};
    EXPECT_EQ(insertEntries(s, {0}, {"x", "y"}), (Rows{1, 2}));
    EXPECT_EQ(s, (Sequence{"a", "x", "y", "b"}));
    EXPECT_EQ(insertEntries(s, {}, {"z"}), (Rows{4}));
    EXPECT_EQ(s.back(), "z");
    removeEntries(s, {1, 2});
    EXPECT_EQ(s, (Sequence{"a", "b", "z"}));
    EXPECT_EQ(moveEntriesUp(s, {1, 2}), (Rows{0, 1}));
    EXPECT_EQ(s, (Sequence{"b", "z", "a"}));
    EXPECT_EQ(moveEntriesDown(s, {0}), (Rows{1}));
    EXPECT_EQ(s, (Sequence{"z", "b", "a"}));
}

TEST(SequenceEdit, ButtonRules) {
    struct Case {
        int requests, entries;
        Rows selected;
        bool insert, remove, up, down;
    };
    const Case cases[] = {
        {0, 0, {}, false, false, false, false}, {1, 1, {0}, true, true, false, false},
        {0, 3, {0}, false, true, false, true},  {0, 3, {2}, false, true, true, false},
        {2, 3, {1}, true, true, true, true},    {0, 3, {}, false, false, false, false},
    };
    for (const Case& c : cases) {
        const SequenceButtons b = sequenceButtons(c.requests, c.entries, c.selected);
        EXPECT_EQ(b.insert, c.insert);
        EXPECT_EQ(b.remove, c.remove);
        EXPECT_EQ(b.moveUp, c.up);
        EXPECT_EQ(b.moveDown, c.down);
    }
}

TEST(ReportNamePattern, SampleAndForbiddenCharacters) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 7;
    EXPECT_EQ(expandReportPattern("%n-%cx%r_%y%m%d_%t 100%%.xls", "shop", 10, 20, when),
              "shop-10x20_20261208_090507 100%.xls");
    EXPECT_TRUE(hasForbiddenFileNameChar("a|b"));
    EXPECT_TRUE(hasForbiddenFileNameChar("a:b"));
    EXPECT_FALSE(hasForbiddenFileNameChar(""));
    EXPECT_EQ(forbiddenFileNameMessage(),
              "A filename cannot contain any of the following characters:\n\\/:*?\"<>|");
}

TEST(RunPreconditions, DirectoriesAreMadeLevelByLevel) {
    velk::test::TempDir dir;
    EXPECT_TRUE(ensureDirectory(dir.file("a/b/c")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("a/b/c")));
    EXPECT_FALSE(ensureDirectory("relative"));
    dir.write("file", "x");
    EXPECT_FALSE(ensureDirectory(dir.file("file/sub")));
    EXPECT_EQ(cannotCreateDirectoryMessage("/x"), "Cannot create directory /x.");
    EXPECT_TRUE(timingsTooLarge(int64_t(1) << 32, ~uint64_t(0)));
    EXPECT_TRUE(timingsTooLarge(100, 100));
    EXPECT_FALSE(timingsTooLarge(99, 100));
}

TEST(GlobalVariables, EachNameOnceWithItsFirstDefaultAsTheParserReadsThem) {
    const struct {
        const char* script;
        std::vector<GlobalVariableUse> uses;
    } cases[] = {
        {"server=$gvar(host,localhost):$GVar(port,8080)\nuri=/$gvar(host,other)$gvar(path)",
         {{"host", "localhost"}, {"port", "8080"}, {"path", ""}}},
        {"a=$gvar(open,never closed\nb=$gvar(next,1)", {{"next", "1"}}},
        {"a=$gvar(unclosed\nb=$gvar(,x)$gvar(k,a,b)", {{"k", "a,b"}}},
        {"no variables here $gvar", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(globalVariablesUsed(c.script), c.uses) << c.script;

    const std::vector<GlobalVariableUse> uses = {{"host", "h"}, {"port", "1"}, {"a=b", ""}};
    EXPECT_EQ(globalVariableArguments(
                  uses, {{"port", "8080"}, {"host", ""}, {"a=b", "x"}, {"unused", "y"}}),
              (std::vector<std::string>{"-port=8080"}));
}

TEST(PassPlan, BatchRunsStepTowardsTheirEndAndNeverWrap) {
    const int32_t kMax = std::numeric_limits<int32_t>::max();
    const struct {
        const char* what;
        CycleSettings cycle;
        std::vector<int32_t> values;
    } cases[] = {
        {"no cycling", {false, false, 4, 9, 1}, {4}},
        {"upwards past the end", {true, false, 1, 6, 2}, {1, 3, 5}},
        {"downwards onto the end", {true, true, 3, 1, -2}, {3, 1}},
        {"a zero step", {true, false, 2, 8, 0}, {2}},
        {"a step past the largest value", {true, false, kMax - 1, kMax, 5}, {kMax - 1}},
        {"a step past the smallest value", {true, false, -kMax, -kMax - 1, -9}, {-kMax}},
    };
    for (const auto& c : cases) EXPECT_EQ(passValues(c.cycle), c.values) << c.what;
}

}  // namespace
}  // namespace velk::runner
