#include "platform/SettingsStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QtGlobal>

#include <cstdlib>

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

// Reads one node; false (with a reason) when the JSON does not have the store's shape.
bool FromJson(const QJsonObject& json, SettingsStore::Node& node, QString& why)
{
    const QJsonObject keys = json.value("keys").toObject();
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (!it.value().isObject()) {
            why = "key " + it.key() + " is not an object";
            return false;
        }
        auto child = std::make_unique<SettingsStore::Node>();
        child->name = it.key().toStdString();
        if (!FromJson(it.value().toObject(), *child, why))
            return false;
        node.children[Lower(child->name)] = std::move(child);
    }
    const QJsonObject values = json.value("values").toObject();
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QJsonObject value = it.value().toObject();
        const QString type = value.value("type").toString();
        const QJsonValue data = value.value("data");
        SettingValue v;
        if (type == "string" && data.isString()) {
            v = SettingValue::String(data.toString().toStdString());
        } else if (type == "dword" && data.isDouble()) {
            const qint64 n = data.toInteger(-1);
            if (n < 0 || n > 0xFFFFFFFFLL) {
                why = "value " + it.key() + " is out of range";
                return false;
            }
            v = SettingValue::Dword(static_cast<std::uint32_t>(n));
        } else if (type == "binary" && data.isString()) {
            const QByteArray hex = data.toString().toLatin1();
            const QByteArray bytes = QByteArray::fromHex(hex);
            if (bytes.size() * 2 != hex.size()) {
                why = "value " + it.key() + " holds bad hex";
                return false;
            }
            v = SettingValue::Binary(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        } else {
            why = "value " + it.key() + " has no valid type and data";
            return false;
        }
        node.values[Lower(it.key().toStdString())] = {it.key().toStdString(), std::move(v)};
    }
    return true;
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

void SettingsStore::Load()
{
    QFile file(QString::fromStdString(m_path));
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        Log("Settings file " + m_path + " cannot be read; defaults are used.");
        return;
    }
    const QByteArray data = file.readAll();
    file.close();

    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    QString why;
    auto root = std::make_unique<Node>();
    if (error.error != QJsonParseError::NoError)
        why = error.errorString() + " at offset " + QString::number(error.offset);
    else if (!doc.isObject())
        why = "not a JSON object";
    else
        FromJson(doc.object().value("root").toObject(), *root, why);

    if (why.isEmpty()) {
        m_root = std::move(root);
        return;
    }
    const QString aside = QString::fromStdString(m_path) + ".damaged-" +
                          QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    QFile::remove(aside);
    const bool kept = QFile::rename(QString::fromStdString(m_path), aside);
    Log("Settings file " + m_path + " is damaged (" + why.toStdString() + "); defaults are used" +
        (kept ? ", the file was kept as " + aside.toStdString() + "." : "."));
}

bool SettingsStore::Save()
{
    const QString path = QString::fromStdString(m_path);
    QDir().mkpath(QFileInfo(path).absolutePath());

    QLockFile lockFile(path + ".lock");
    lockFile.setStaleLockTime(10000);
    if (!lockFile.tryLock(2000)) {
        Log("Settings file " + m_path + " is locked by another copy; the change is not saved.");
        return false;
    }
    QJsonObject top;
    top["format"] = "tonrig-settings";
    top["version"] = 1;
    top["root"] = ToJson(*m_root);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(top).toJson()) < 0 || !file.commit()) {
        Log("Settings file " + m_path + " cannot be written: " + file.errorString().toStdString());
        return false;
    }
    return true;
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
    std::lock_guard lock(m_mutex);
    if (SplitKey(key).empty())
        return true;
    if (Find(key))
        return true;
    FindOrCreate(key);
    return Save();
}

bool SettingsStore::DeleteKey(const std::string& key)
{
    std::lock_guard lock(m_mutex);
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
    return Save();
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
    std::lock_guard lock(m_mutex);
    Node* node = FindOrCreate(key);
    auto& entry = node->values[Lower(name)];
    if (entry.first.empty())
        entry.first = name;
    entry.second = value;
    return Save();
}

bool SettingsStore::DeleteValue(const std::string& key, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    const Node* found = Find(key);
    if (!found)
        return false;
    Node* node = const_cast<Node*>(found);
    if (!node->values.erase(Lower(name)))
        return false;
    return Save();
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
