#pragma once
// The settings store that stands in for the registry: a tree of keys holding string, 32-bit and
// binary values, names matched without regard to case and kept as first written. It lives in
// one JSON file, $XDG_CONFIG_HOME/Ostrand/Zelvo USB Programmer/settings.json (TONRIG_SETTINGS
// names another), rewritten through QSaveFile on every change under a lock file, so a second
// running copy never interleaves its writes. What a save killed before its rename left beside the
// file is removed when the store is opened.
//
// Reading refuses whatever the writer would not write back the same. A file whose structure
// cannot be read (not JSON, not this program's, nested too deep, too large) costs one log line:
// it is renamed aside and the store starts from defaults. A single value that cannot be read (a
// wrong type, out of range) is dropped alone, so its default applies; the file is copied aside
// first and one log line names every dropped value.
//
// Key paths use backslashes, as the system's code writes them: "Software\\Zelvo\\Settings".

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class ValueType { String, Dword, Binary };

struct SettingValue {
    ValueType type = ValueType::String;
    std::string text;
    std::uint32_t dword = 0;
    std::vector<std::uint8_t> binary;

    static SettingValue String(std::string s) { return {ValueType::String, std::move(s), 0, {}}; }
    static SettingValue Dword(std::uint32_t v) { return {ValueType::Dword, {}, v, {}}; }
    static SettingValue Binary(std::vector<std::uint8_t> b) { return {ValueType::Binary, {}, 0, std::move(b)}; }
    bool operator==(const SettingValue&) const = default;
};

// A save the file system refused: the file, and why in plain words ("Permission denied", "Is a
// directory", "Read-only file system", "the folder is read-only", ...).
struct SaveFailure {
    std::string path;
    std::string reason;
    bool operator==(const SaveFailure&) const = default;
};

class SettingsStore {
public:
    static constexpr int kMaxKeyDepth = 32; // keys below the root
    static constexpr qint64 kMaxFileBytes = 4 << 20;
    static constexpr const char* kFormat = "tonrig-settings";
    static constexpr int kVersion = 1;

    // The program's store, opened on first use at DefaultPath().
    static SettingsStore& Instance();
    static std::string DefaultPath();

    explicit SettingsStore(std::string filePath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Drops what is held and loads `filePath` (tests point the store at their own folder).
    void Open(std::string filePath);
    std::string FilePath() const;

    bool KeyExists(const std::string& key) const;
    bool CreateKey(const std::string& key);
    // Fails when the key is missing or still has subkeys.
    bool DeleteKey(const std::string& key);
    std::vector<std::string> SubKeyNames(const std::string& key) const;

    bool ValueExists(const std::string& key, const std::string& name) const;
    std::optional<SettingValue> GetValue(const std::string& key, const std::string& name) const;
    // Creates the key when missing. False when the file could not be written (the value is
    // still held in memory for this run).
    bool SetValue(const std::string& key, const std::string& name, const SettingValue& value);
    bool DeleteValue(const std::string& key, const std::string& name);
    std::vector<std::string> ValueNames(const std::string& key) const;

    // Where the store's few log lines go (default: qWarning).
    void SetLogSink(std::function<void(const std::string&)> sink);
    // The lines the last load logged (damage, dropped values), each given once, for a window
    // that opens after the store was first read.
    std::vector<std::string> TakeLoadMessages();
    // The first save of this run that the file system refuses goes to `sink`, once; one that came
    // before the sink goes to it as it is set. A file locked by another copy is no such failure.
    // Opening a file starts a new run. Called on the thread that writes or sets the sink, outside
    // the store's lock.
    void SetSaveFailureSink(std::function<void(const SaveFailure&)> sink);

    struct Node;

private:
    const Node* Find(const std::string& key) const;
    Node* FindOrCreate(const std::string& key);
    void Load();
    bool Save();
    // Save(); a failure goes to the sink as GiveFailure gives it.
    bool SaveAndReport(std::unique_lock<std::mutex>& lock);
    bool Refused(const std::string& reason);
    // The run's first failure to the sink, once, with `lock` released on the way.
    void GiveFailure(std::unique_lock<std::mutex>& lock);
    void Log(const std::string& line) const;
    void LoadMessage(const std::string& line);

    mutable std::mutex m_mutex;
    std::string m_path;
    std::unique_ptr<Node> m_root;
    std::function<void(const std::string&)> m_log;
    std::vector<std::string> m_loadMessages;
    std::function<void(const SaveFailure&)> m_failureSink;
    std::optional<SaveFailure> m_failure; // the run's first
    bool m_failureGiven = false;
};

} // namespace platform
