// Shared helpers of the stand-in tests: environment variables put back after each test,
// and a throwaway folder holding a stick mapped as drive E: and a work folder used as
// the current directory. The folder is removed when the test passes and kept (its path
// printed) when it fails.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "text/unicode.h"

namespace standin_test {

// Sets environment variables for one test and restores them afterwards.
class EnvironmentGuard {
  public:
    ~EnvironmentGuard() { restore(); }

    void set(const std::string& name, const std::string& value) {
        remember(name);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void unset(const std::string& name) {
        remember(name);
        unsetenv(name.c_str());
    }
    void restore() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
        saved_.clear();
    }

  private:
    void remember(const std::string& name) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Splits cmd output into lines; each line must end with "\r\n", as cmd writes them.
// Checks stderr: empty when no complaint is expected, else holding it.
inline void expect_complaint(const std::string& err, const char* complaint) {
    if (*complaint == '\0') {
        EXPECT_EQ(err, "");
    } else {
        EXPECT_NE(err.find(complaint), std::string::npos) << "stderr: " << err;
    }
}

inline std::vector<std::string> crlf_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "line without \\r\\n in: " << text;
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class StandinTree : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/nodrel-standin-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        stick_ = root_ + "/stick";
        work_ = root_ + "/work";
        std::filesystem::create_directories(stick_);
        std::filesystem::create_directories(work_);
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        old_cwd_ = cwd;
        ASSERT_EQ(chdir(work_.c_str()), 0);
        env_.set("NODREL_DRIVES", "C=fixed:" + root_ + "/c;E=removable:" + stick_);
        env_.unset("NODREL_TRANSCRIPT");
    }

    void TearDown() override {
        EXPECT_EQ(chdir(old_cwd_.c_str()), 0);
        env_.restore();
        if (HasFailure()) {
            std::printf("test folder kept: %s\n", root_.c_str());
        } else {
            std::filesystem::remove_all(root_);
        }
    }

    // Creates a file on the stick (path relative to its root, "/" between parts) with
    // the given DOS attributes stored the way Wine stores them.
    void make_file(const std::string& rel, unsigned dos_attributes = 0) {
        std::string path = stick_ + "/" + rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "data of " << rel;
        set_attributes(path, dos_attributes);
    }

    void make_folder(const std::string& rel, unsigned dos_attributes = 0) {
        std::string path = stick_ + "/" + rel;
        std::filesystem::create_directories(path);
        set_attributes(path, dos_attributes);
    }

    static void set_attributes(const std::string& path, unsigned dos_attributes) {
        if (dos_attributes == 0) return;
        char text_buffer[16];
        std::snprintf(text_buffer, sizeof text_buffer, "0x%x", dos_attributes);
        std::string text = text_buffer;
        ASSERT_EQ(setxattr(path.c_str(), "user.DOSATTRIB", text.data(), text.size(), 0), 0)
            << "extended attributes unsupported at " << path;
    }

    // Every file and folder under the stick, as "dir/name" paths.
    std::set<std::string> stick_contents() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(stick_)) {
            names.insert(std::filesystem::relative(entry.path(), stick_).string());
        }
        return names;
    }

    // A work-folder file as the interpreter wrote it (UTF-16LE, because the
    // program starts it with /u), and as the UTF-8 text that stands for.
    std::string work_bytes(const std::string& name) const { return read_file(work_ + "/" + name); }
    std::string work_file(const std::string& name) const { return text::utf16le_to_utf8(work_bytes(name)); }
    bool work_file_exists(const std::string& name) const { return std::filesystem::exists(work_ + "/" + name); }

    EnvironmentGuard env_;
    std::string root_, stick_, work_, old_cwd_;
};

}  // namespace standin_test
