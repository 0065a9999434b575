#include "platform/SettingsStore.h"

#include "platform/FileSync.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QtGlobal>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct SettingsStore::Node {
    std::string name;
    std::map<std::string, std::unique_ptr<Node>> children; // by lower-case name
    std::map<std::string, std::pair<std::string, SettingValue>> values; // lower-case → (name, value)
};

namespace {

std::string Lower(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::vector<std::string> SplitKey(const std::string& key)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : key) {
        if (c == '\\' || c == '/') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

QJsonObject ToJson(const SettingsStore::Node& node)
{
    QJsonObject keys;
    for (const auto& [lower, child] : node.children)
        keys.insert(QString::fromStdString(child->name), ToJson(*child));
    QJsonObject values;
    for (const auto& [lower, entry] : node.values) {
        const SettingValue& v = entry.second;
        QJsonObject value;
        switch (v.type) {
        case ValueType::String:
            value["type"] = "string";
            value["data"] = QString::fromStdString(v.text);
            break;
        case ValueType::Dword:
            value["type"] = "dword";
            value["data"] = static_cast<qint64>(v.dword);
            break;
        case ValueType::Binary:
            value["type"] = "binary";
            value["data"] = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(v.binary.data()),
                                                           static_cast<qsizetype>(v.binary.size()))
                                                    .toHex());
            break;
        }
        values.insert(QString::fromStdString(entry.first), value);
    }
    QJsonObject out;
    if (!keys.isEmpty())
        out["keys"] = keys;
    if (!values.isEmpty())
        out["values"] = values;
    return out;
}

bool IsHexText(const QString& text)
{
    if (text.size() % 2)
        return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

// One stored value, or the reason it cannot be read back as the writer would write it.
std::optional<SettingValue> ValueFromJson(const QJsonValue& json, QString& why)
{
    if (!json.isObject()) {
        why = "not a value";
        return std::nullopt;
    }
    const QJsonObject value = json.toObject();
    const QString type = value.value("type").toString();
    const QJsonValue data = value.value("data");
    if (type == "string") {
        // A lone surrogate would come back as U+FFFD.
        if (data.isString() && data.toString().isValidUtf16())
            return SettingValue::String(data.toString().toStdString());
        why = "not a string";
    } else if (type == "dword") {
        const qint64 n = data.isDouble() ? data.toInteger(-1) : -1;
        if (n >= 0 && n <= 0xFFFFFFFFLL)
            return SettingValue::Dword(static_cast<std::uint32_t>(n));
        why = !data.isDouble()                                         ? "not a number"
            : data.toDouble() != static_cast<double>(data.toInteger()) ? "not a whole number"
                                                                       : "out of range";
    } else if (type == "binary") {
        if (data.isString() && IsHexText(data.toString())) {
            const QByteArray bytes = QByteArray::fromHex(data.toString().toLatin1());
            return SettingValue::Binary(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        }
        why = "bad hex";
    } else {
        why = "no known type";
    }
    return std::nullopt;
}

struct LoadResult {
    QString damage; // set when the structure cannot be read: the whole file is refused
    QStringList dropped; // values that cannot be read, each with its reason; the rest is kept
};

// Reads one node at `depth` (the root is 0) below `path`.
void NodeFromJson(const QJsonValue& json, SettingsStore::Node& node, const QString& path, int depth, LoadResult& result)
{
    if (!json.isObject()) {
        result.damage = (path.isEmpty() ? QString("the root") : "key " + path) + " is not an object";
        return;
    }
    if (depth > SettingsStore::kMaxKeyDepth) {
        result.damage = "keys nested deeper than " + QString::number(SettingsStore::kMaxKeyDepth);
        return;
    }
    const QJsonObject object = json.toObject();
    const QString prefix = path.isEmpty() ? QString() : path + "\\";
    for (const char* member : { "keys", "values" }) {
        if (object.contains(member) && !object.value(member).isObject()) {
            result.damage = QString(member) + (path.isEmpty() ? QString() : " of " + path) + " is not an object";
            return;
        }
    }
    const QJsonObject keys = object.value("keys").toObject();
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (!it.key().isValidUtf16()) {
            result.damage = "a key name below " + (path.isEmpty() ? QString("the root") : path) + " is not text";
            return;
        }
        const std::string name = it.key().toStdString();
        auto& child = node.children[Lower(name)];
        if (child) {
            result.damage = "two keys named " + prefix + it.key();
            return;
        }
        child = std::make_unique<SettingsStore::Node>();
        child->name = name;
        NodeFromJson(it.value(), *child, prefix + it.key(), depth + 1, result);
        if (!result.damage.isEmpty())
            return;
    }
    const QJsonObject values = object.value("values").toObject();
    for (auto it = values.begin(); it != values.end(); ++it) {
        const std::string name = it.key().toStdString();
        QString why;
        std::optional<SettingValue> value = ValueFromJson(it.value(), why);
        if (value && !it.key().isValidUtf16()) {
            value.reset();
            why = "its name is not text";
        } else if (value && node.values.count(Lower(name))) {
            value.reset();
            why = "named twice";
        }
        if (!value) {
            result.dropped << prefix + it.key() + " (" + why + ")";
            continue;
        }
        node.values[Lower(name)] = { name, std::move(*value) };
    }
}

QString AsideName(const QString& path)
{
    const QString base = path + ".damaged-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + "-" + QString::number(n);
    return name;
}

std::string SystemReason(int error)
{
    return std::generic_category().message(error);
}

std::string FolderReason(int error)
{
    return error == EACCES || error == EPERM ? "the folder is read-only" : SystemReason(error);
}

// Why no new file can take the place of `path`, as far as can be seen; empty when nothing stops it.
std::string WhyNotWritable(const QString& path)
{
    struct stat st { };
    const QByteArray file = QFile::encodeName(path);
    if (::stat(file.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return SystemReason(EISDIR);
    // The folder, or the nearest folder above it that exists when it could not be made.
    QString folder = QFileInfo(path).absolutePath();
    bool missing = false;
    while (::stat(QFile::encodeName(folder).constData(), &st) != 0) {
        const int error = errno;
        const QString parent = QFileInfo(folder).absolutePath();
        if (error != ENOENT || parent == folder)
            return SystemReason(error);
        folder = parent;
        missing = true;
    }
    if (!S_ISDIR(st.st_mode))
        return SystemReason(ENOTDIR);
    if (::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) != 0) {
        const int error = errno;
        // A folder above the file's, where the file's could not be made, is not "the folder".
        return missing ? SystemReason(error == EROFS ? EROFS : EACCES) : FolderReason(error);
    }
    if (missing)
        return SystemReason(ENOENT);
    if (::faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return SystemReason(errno);
    return {};
}

int KeyDepth(const std::vector<std::string>& parts)
{
    return static_cast<int>(parts.size());
}

} // namespace

SettingsStore& SettingsStore::Instance()
{
    static SettingsStore store(DefaultPath());
    return store;
}

std::string SettingsStore::DefaultPath()
{
    if (const char* path = std::getenv("TONRIG_SETTINGS"); path && *path)
        return path;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return (base + "/Ostrand/Zelvo USB Programmer/settings.json").toStdString();
}

SettingsStore::SettingsStore(std::string filePath) : m_path(std::move(filePath)), m_root(std::make_unique<Node>())
{
    Load();
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::Open(std::string filePath)
{
    std::lock_guard lock(m_mutex);
    m_path = std::move(filePath);
    m_root = std::make_unique<Node>();
    m_loadMessages.clear();
    m_failure.reset();
    m_failureGiven = false;
    Load();
}

std::string SettingsStore::FilePath() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

void SettingsStore::SetLogSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard lock(m_mutex);
    m_log = std::move(sink);
}

void SettingsStore::Log(const std::string& line) const
{
    if (m_log)
        m_log(line);
    else
        qWarning("%s", line.c_str());
}

void SettingsStore::SetSaveFailureSink(std::function<void(const SaveFailure&)> sink)
{
    std::unique_lock lock(m_mutex);
    m_failureSink = std::move(sink);
    GiveFailure(lock);
}

void SettingsStore::GiveFailure(std::unique_lock<std::mutex>& lock)
{
    if (!m_failure || m_failureGiven || !m_failureSink)
        return;
    m_failureGiven = true;
    const SaveFailure failure = *m_failure;
    const auto sink = m_failureSink;
    lock.unlock();
    sink(failure);
}

void SettingsStore::Load()
{
    QFile file(QString::fromStdString(m_path));
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        LoadMessage("Settings file " + m_path + " cannot be read; defaults are used.");
        return;
    }
    const qint64 size = file.size();
    const QByteArray data = size > kMaxFileBytes ? QByteArray() : file.readAll();
    file.close();

    LoadResult result;
    auto root = std::make_unique<Node>();
    QJsonParseError error {};
    const QJsonDocument doc = size > kMaxFileBytes ? QJsonDocument() : QJsonDocument::fromJson(data, &error);
    if (size > kMaxFileBytes) {
        result.damage = "larger than " + QString::number(kMaxFileBytes) + " bytes";
    } else if (error.error != QJsonParseError::NoError) {
        result.damage = error.errorString() + " at offset " + QString::number(error.offset);
    } else if (!doc.isObject()) {
        result.damage = "not a JSON object";
    } else {
        const QJsonObject top = doc.object();
        if ((top.contains("format") && top.value("format") != QJsonValue(kFormat)) || !top.value("root").isObject())
            result.damage = "not a settings file of this program";
        else if (top.contains("version") && top.value("version").toInteger(-1) != kVersion)
            result.damage = "written by another version";
        else
            NodeFromJson(top.value("root"), *root, {}, 0, result);
    }

    const QString path = QString::fromStdString(m_path);
    if (!result.damage.isEmpty()) {
        // Renamed, so the first write starts a new file and the old one stays as it was.
        const QString aside = AsideName(path);
        const bool kept = QFile::rename(path, aside);
        LoadMessage("Settings file " + m_path + " is damaged (" + result.damage.toStdString() + "); defaults are used"
            + (kept ? ", the file was kept as " + aside.toStdString() + "." : "."));
        return;
    }
    m_root = std::move(root);
    if (result.dropped.isEmpty())
        return;
    // The rest is kept and the file will be rewritten without the dropped values: copy it first.
    const QString aside = AsideName(path);
    const bool kept = QFile::copy(path, aside);
    LoadMessage("Settings file " + m_path
        + " holds values that cannot be read: " + result.dropped.join(", ").toStdString() + "; their defaults are used"
        + (kept ? ", the file was kept as " + aside.toStdString() + "." : "."));
}

void SettingsStore::LoadMessage(const std::string& line)
{
    m_loadMessages.push_back(line);
    Log(line);
}

std::vector<std::string> SettingsStore::TakeLoadMessages()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_loadMessages, {});
}

bool SettingsStore::Save()
{
    const QString path = QString::fromStdString(m_path);
    QDir().mkpath(QFileInfo(path).absolutePath());

    QLockFile lockFile(path + ".lock");
    lockFile.setStaleLockTime(10000);
    if (!lockFile.tryLock(2000)) {
        // A folder that takes no files leaves no lock file either: that is no second copy.
        const std::string why = WhyNotWritable(path);
        if (!why.empty())
            return Refused(why);
        if (lockFile.error() != QLockFile::LockFailedError)
            return Refused("its lock file cannot be made");
        Log("Settings file " + m_path + " is locked by another copy; the change is not saved.");
        return false;
    }
    // Only under the lock: another copy between writing its temporary file and renaming it holds it.
    RemoveSaveLeftovers(m_path);
    QJsonObject top;
    top["format"] = kFormat;
    top["version"] = kVersion;
    top["root"] = ToJson(*m_root);
    const QByteArray bytes = QJsonDocument(top).toJson();
    // Never write what the next start would refuse.
    if (bytes.size() > kMaxFileBytes) {
        Log("Settings file " + m_path + " would grow past " + std::to_string(kMaxFileBytes)
            + " bytes; the change is not saved.");
        return false;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0 || !file.commit()) {
        const std::string why = WhyNotWritable(path);
        return Refused(why.empty() ? file.errorString().toStdString() : why);
    }
    return true;
}

bool SettingsStore::Refused(const std::string& reason)
{
    Log("Settings file " + m_path + " cannot be written: " + reason);
    if (!m_failure)
        m_failure = SaveFailure { m_path, reason };
    return false;
}

bool SettingsStore::SaveAndReport(std::unique_lock<std::mutex>& lock)
{
    if (Save())
        return true;
    GiveFailure(lock);
    return false;
}

const SettingsStore::Node* SettingsStore::Find(const std::string& key) const
{
    const Node* node = m_root.get();
    for (const std::string& part : SplitKey(key)) {
        auto it = node->children.find(Lower(part));
        if (it == node->children.end())
            return nullptr;
        node = it->second.get();
    }
    return node;
}

SettingsStore::Node* SettingsStore::FindOrCreate(const std::string& key)
{
    Node* node = m_root.get();
    for (const std::string& part : SplitKey(key)) {
        auto& child = node->children[Lower(part)];
        if (!child) {
            child = std::make_unique<Node>();
            child->name = part;
        }
        node = child.get();
    }
    return node;
}

bool SettingsStore::KeyExists(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    return Find(key) != nullptr;
}

bool SettingsStore::CreateKey(const std::string& key)
{
    std::unique_lock lock(m_mutex);
    if (SplitKey(key).empty())
        return true;
    if (KeyDepth(SplitKey(key)) > kMaxKeyDepth)
        return false;
    if (Find(key))
        return true;
    FindOrCreate(key);
    return SaveAndReport(lock);
}

bool SettingsStore::DeleteKey(const std::string& key)
{
    std::unique_lock lock(m_mutex);
    std::vector<std::string> parts = SplitKey(key);
    if (parts.empty())
        return false;
    const std::string last = Lower(parts.back());
    parts.pop_back();
    Node* parent = m_root.get();
    for (const std::string& part : parts) {
        auto it = parent->children.find(Lower(part));
        if (it == parent->children.end())
            return false;
        parent = it->second.get();
    }
    auto it = parent->children.find(last);
    if (it == parent->children.end() || !it->second->children.empty())
        return false;
    parent->children.erase(it);
    return SaveAndReport(lock);
}

std::vector<std::string> SettingsStore::SubKeyNames(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    if (const Node* node = Find(key))
        for (const auto& [lower, child] : node->children)
            names.push_back(child->name);
    return names;
}

bool SettingsStore::ValueExists(const std::string& key, const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const Node* node = Find(key);
    return node && node->values.count(Lower(name));
}

std::optional<SettingValue> SettingsStore::GetValue(const std::string& key, const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const Node* node = Find(key);
    if (!node)
        return std::nullopt;
    auto it = node->values.find(Lower(name));
    if (it == node->values.end())
        return std::nullopt;
    return it->second.second;
}

bool SettingsStore::SetValue(const std::string& key, const std::string& name, const SettingValue& value)
{
    std::unique_lock lock(m_mutex);
    if (KeyDepth(SplitKey(key)) > kMaxKeyDepth)
        return false;
    Node* node = FindOrCreate(key);
    auto& entry = node->values[Lower(name)];
    if (entry.first.empty())
        entry.first = name;
    entry.second = value;
    return SaveAndReport(lock);
}

bool SettingsStore::DeleteValue(const std::string& key, const std::string& name)
{
    std::unique_lock lock(m_mutex);
    const Node* found = Find(key);
    if (!found)
        return false;
    Node* node = const_cast<Node*>(found);
    if (!node->values.erase(Lower(name)))
        return false;
    return SaveAndReport(lock);
}

std::vector<std::string> SettingsStore::ValueNames(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    if (const Node* node = Find(key))
        for (const auto& [lower, entry] : node->values)
            names.push_back(entry.first);
    return names;
}

} // namespace platform
