#pragma once
// What every test program shares: an isolated home for settings and data, and helpers that
// tests use to run the GUI thread's queue without sleeping for real.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tonrig::test {

// Points APPDATA, XDG_* and TONRIG_SETTINGS into a temporary folder for the whole program.
class IsolatedEnvironment : public testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    static std::string Root();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

// A fresh settings file for one test; the program's store reopens it.
class ScopedSettingsFile {
public:
    ScopedSettingsFile();
    ~ScopedSettingsFile();
    const std::string& Path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    std::string m_path;
    std::string m_previous;
};

// Processes GUI events until `done` holds or `timeout` of real time passes. True when done.
bool ProcessEventsUntil(
    const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// What `path` holds as a test compares it: the file's bytes, or that a folder stands there.
std::string FileSnapshot(const std::string& path);

// The bytes of the file at `path`; none when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// The folder of test fixtures in the source tree (tests/<folder>/data/...).
std::string SourcePath(const std::string& relative);

} // namespace tonrig::test
