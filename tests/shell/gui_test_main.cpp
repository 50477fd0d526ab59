// Widget tests run headless with a private settings directory, so that they
// never read or write the user's own settings.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string config = (std::filesystem::temp_directory_path() / "velk-gui-test-XXXXXX").string();
    if (mkdtemp(config.data())) setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(config, ec);
    return status;
}
