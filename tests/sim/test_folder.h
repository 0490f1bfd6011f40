// A folder of its own for a test of voxa-sim: under the system's temporary folder, named after
// the tag, this process and the running test, empty when it is made and removed with the object.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace voxa_test {

class TestFolder {
  public:
    explicit TestFolder(const std::string& tag) {
        std::string name = "voxa-" + tag + "-" + std::to_string(getpid());
        if (const auto* test = ::testing::UnitTest::GetInstance()->current_test_info()) {
            name += std::string("-") + test->name();
        }
        std::replace(name.begin(), name.end(), '/', '_');
        path_ = (std::filesystem::temp_directory_path() / name).string();
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace voxa_test
