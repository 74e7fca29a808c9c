// A fresh program folder per test, in the temporary folder, named after the
// test and removed afterwards; the user interface language is English.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/system.h"

namespace mirelle::test {

class ProgramFolderTest : public ::testing::Test {
protected:
    explicit ProgramFolderTest(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override {
        namespace fs = std::filesystem;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = prefix_ + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name();
        for (char& c : name)
            if (c == '/') c = '_';  // parameterised suites have slashes in their names
        dir_ = fs::temp_directory_path() / name;
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // The program names its folder by the short form (8.3 on Windows),
        // and so do the tests, to compare what it shows and writes.
        if (!sys::ShortPathName(dir_.string(), dir_text_)) dir_text_ = dir_.string();
        for (const char* v : {"LC_ALL", "LC_MESSAGES"}) sys::UnsetEnv(v);
        sys::SetEnv("LANG", "C");
    }
    void TearDown() override {
        // Out of the folder first (the program moves into it): Windows
        // removes no folder that is a current one.
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string Dir() const { return dir_text_ + "/"; }
    // A path with '/' for every separator, to compare paths that Windows
    // gives back with its own.
    static std::string Slashes(std::string path) {
        for (char& c : path)
            if (c == '\\') c = '/';
        return path;
    }
    const std::filesystem::path& DirPath() const { return dir_; }
    // A file of the folder by its UTF-8 name (the program's texts are UTF-8;
    // a plain string would be read in the system's code page on Windows).
    std::filesystem::path PathOf(const std::string& name) const {
        return dir_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
    }
    void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(PathOf(name), std::ios::binary) << text;
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(PathOf(name)); }
    std::string ReadFile(const std::string& name) const {
        std::ifstream in(PathOf(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::string prefix_;
    std::filesystem::path dir_;
    std::string dir_text_;
};

}  // namespace mirelle::test
