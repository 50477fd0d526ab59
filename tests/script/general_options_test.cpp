#include "script/general_options.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <clocale>
#include <cstdlib>

#include "base/message.h"
#include "common/message_capture.h"
#include "script/parsed_test.h"

namespace velk {
namespace {

using test::MessageCapture;

class GeneralOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { setOutFunc(&m_capture, MessageCapture::sink); }
    void TearDown() override { setOutFunc(nullptr, nullptr); }

    bool set(std::string_view name, std::string_view value) {
        return reportIfFailed(setGeneralOption(m_set, name, value));
    }

    ParsedTest m_set;
    MessageCapture m_capture;
};

TEST_F(GeneralOptionsTest, DefaultsAreThoseOfANewTest) {
    const GeneralOptions& o = m_set.options;
    EXPECT_EQ(o.clients, 1);
    EXPECT_EQ(o.server, "localhost");
    EXPECT_EQ(o.port, 80);
    EXPECT_EQ(o.round, 10.0);
    EXPECT_EQ(o.proxymask, "192.168.$C2.$C1");
    EXPECT_EQ(o.outfile, "%n-%s-%cx%r.xls");
    EXPECT_EQ(o.endofscript, "[/script]");
    EXPECT_EQ(o.timeout, 30);
    EXPECT_EQ(o.delaystart, 1);
    EXPECT_EQ(o.exacttiminginterval, 1000);
    EXPECT_EQ(o.socketerrorsymbol, "NETERR");
    EXPECT_EQ(optionTable().size(), 53u);
}

TEST_F(GeneralOptionsTest, EachTypeReadsItsValuesAndRefusesOthersWithItsMessage) {
    static const std::string longMask(32, 'm');
    struct Case {
        const char* name;
        const char* value;
        bool accepted;
        const char* message;  // the refusal message
    } cases[] = {
        {"clients", "12abc", true, nullptr},
        {"clients", "-1", false, "Integer number expected as a value of clients"},
        {"clients", " 5", false, "Integer number expected as a value of clients"},
        {"keepalive", "10", true, nullptr},
        {"keepalive", "On", true, nullptr},
        {"keepalive", "OFF", true, nullptr},
        {"keepalive", "2", false, "Only 0,no,off,1,yes,on expected as a value of keepalive"},
        {"httpver", "0", true, nullptr},
        {"httpver", "2", false, "Only 0 or 1 expected as a value of httpver"},
        {"method", "post", true, nullptr},
        {"method", "PUT", false, "Only GET or POST expected as a value of method"},
        {"round", "abc", false, "Floating point number expected as a value of round"},
        {"proxymask", longMask.c_str(), false, "Value of proxymask cannot be longer than 32"},
    };
    for (const Case& c : cases) {
        m_capture.clear();
        EXPECT_EQ(set(c.name, c.value), c.accepted) << c.name << "=" << c.value;
        if (c.message)
            EXPECT_EQ(m_capture.last(), c.message) << c.name << "=" << c.value;
        else
            EXPECT_EQ(m_capture.count(), 0u) << c.name << "=" << c.value;
    }
    EXPECT_EQ(m_set.options.clients, 12);
    EXPECT_EQ(m_set.options.keepalive, 0);
    EXPECT_EQ(m_set.options.httpver, 0);
    EXPECT_EQ(m_set.options.method, 1);
}

TEST_F(GeneralOptionsTest, IntegersSaturateInsteadOfOverflowing) {
    ASSERT_TRUE(set("clients", "99999999999999999999"));
    EXPECT_EQ(m_set.options.clients, 2147483647);
}

TEST_F(GeneralOptionsTest, TextLongerThanItsSizeIsRefusedAndLeavesTheOptionEmpty) {
    EXPECT_TRUE(set("server", std::string(255, 's')));
    EXPECT_EQ(m_set.options.server.size(), 255u);
    EXPECT_FALSE(set("server", std::string(256, 's')));
    EXPECT_EQ(m_capture.last(), "Value of server cannot be longer than 256");
    EXPECT_EQ(m_set.options.server, "");
}

TEST_F(GeneralOptionsTest, PairedNamesShareOneStorage) {
    ASSERT_TRUE(set("printdate", "0"));
    EXPECT_EQ(m_set.options.reportinfo, 0);
    ASSERT_TRUE(set("scriptfile", "run.js"));
    EXPECT_EQ(m_set.options.script, "run.js");
}

TEST_F(GeneralOptionsTest, NamesAreExactExceptRate) {
    EXPECT_FALSE(set("Clients", "5"));
    EXPECT_EQ(m_capture.count(), 0u);
    EXPECT_TRUE(set("RaTe", "7200"));
    EXPECT_EQ(m_set.options.delay, 500);
}

TEST_F(GeneralOptionsTest, RateThatCannotDivideIsRefused) {
    m_set.options.delay = 40;
    EXPECT_FALSE(set("rate", "0"));
    EXPECT_FALSE(set("rate", "fast"));
    EXPECT_EQ(m_capture.count(), 2u);
    EXPECT_EQ(m_set.options.delay, 40);
    EXPECT_EQ(m_set.options.softdelay, 0);
}

TEST_F(GeneralOptionsTest, EmptyDecimalLeavesTheValueUnchanged) {
    ASSERT_TRUE(set("round", "2.5"));
    EXPECT_EQ(m_set.options.round, 2.5);
    EXPECT_TRUE(set("round", ""));
    EXPECT_EQ(m_set.options.round, 2.5);
}

// Decimals follow the user's numeric locale, and only on the parsing thread.
TEST(GeneralOptionsLocale, CommaLocaleReadsUpToTheDecimalPoint) {
    locale_t probe = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", locale_t(0));
    if (!probe) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    freelocale(probe);
    // The user locale is read once per process, so this runs in a child; one
    // started afresh, since earlier tests in this process have read it already.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("LC_ALL", "de_DE.UTF-8", 1);
            setOutFunc(nullptr, nullptr);
            ParsedTest set;
            bool ok = reportIfFailed(setGeneralOption(set, "round", "0.01")) &&
                      set.options.round == 0.0 &&
                      reportIfFailed(setGeneralOption(set, "round", "2,5")) &&
                      set.options.round == 2.5;
            // The process-wide locale is untouched.
            ok = ok && std::string(setlocale(LC_NUMERIC, nullptr)) == "C";
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace velk
