#include "catalogue/DeviceIdDecoder.h"

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceListParser.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <QFile>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

constexpr int kTextNotInLibrary = 115;
constexpr int kTextUnknownDevice = 116;
constexpr COLORREF kErrorColour = 0;
constexpr const char* kImportCaption = "device.txt Error";

std::string Upper(std::string_view text)
{
    return devicelist::AsciiUpper(text);
}

} // namespace

IdSplit SplitDeviceId(std::string_view upperId, bool forImport)
{
    IdSplit split;
    for (std::size_t at = 0; at < upperId.size(); at += 2) {
        const std::string_view pair = upperId.substr(at, 2);
        const bool last = upperId.size() - at <= 2;
        if (pair == "FF" || pair == "00" || pair == "7F") {
            if (pair == "7F")
                split.manufacturer += pair;
            if (last) {
                split.manufacturer.clear();
                return split;
            }
            continue;
        }
        split.manufacturer += pair;
        split.device = std::string(upperId.substr(at + pair.size()));
        if (last && !forImport)
            split.manufacturer.clear();
        return split;
    }
    return split;
}

void CDeviceIdDecoder::FillManufacturerTable()
{
    m_Manufacturers = MakeManufacturerTable();
}

const CManufacturerEntry* CDeviceIdDecoder::FindManufacturer(std::string_view code) const
{
    const auto it = std::find_if(m_Manufacturers.begin(), m_Manufacturers.end(),
        [code](const CManufacturerEntry& row) { return row.m_strCode == code; });
    return it == m_Manufacturers.end() ? nullptr : &*it;
}

CManufacturerEntry* CDeviceIdDecoder::FindManufacturerRow(std::string_view code)
{
    return const_cast<CManufacturerEntry*>(std::as_const(*this).FindManufacturer(code));
}

bool CDeviceIdDecoder::LoadDeviceSignatures(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        MessageBox(platform::Format("file open error: devices.txt .%s", path.c_str()), platform::kAppTitle, MB_OK);
        return false;
    }
    ImportDeviceSignatures(file.readAll());
    return true;
}

void CDeviceIdDecoder::ImportDeviceSignatures(const QByteArray& bytes)
{
    LineErrorBoxes boxes("devices.txt", kImportCaption);
    std::unordered_map<const CManufacturerEntry*, std::unordered_set<std::string>> held;
    const auto error = [&boxes](const std::string& text) {
        DeviceListLog(text, kErrorColour);
        boxes.Show(text);
    };
    for (const std::string& raw : devicelist::ReadLines(bytes)) {
        const std::string_view line = devicelist::TrimLeft(raw);
        if (line.size() > devicelist::kMaxLineBytes) {
            DeviceListLog(
                platform::Format("#ERROR# A line of %zu bytes in devices.txt is too long; skipped", line.size()),
                kErrorColour);
            continue;
        }
        // Name= and ID= by key, so their order on the line does not matter; a line with a NUL
        // byte is one the catalogue refuses too.
        std::string name;
        std::string id;
        if (!devicelist::IsDeviceLine(line) || devicelist::HoldsNul(line)
            || !devicelist::GetKeyValue(line, "Name=", name) || !devicelist::GetKeyValue(line, "ID=", id)
            || id == "XXXX")
            continue;
        const IdSplit split = SplitDeviceId(id, true);
        CManufacturerEntry* row = FindManufacturerRow(split.manufacturer);
        if (split.device.size() < 2) {
            error(platform::Format(
                "#ERROR# The device \"%s\",\"%s\" ID too short, the device not been added.", name.c_str(), id.c_str()));
            continue;
        }
        if (!row) {
            error(platform::Format(
                "#ERROR# The device \"%s\",\"%s\" manufacturer \"%s\" not found in the lib, the device not been added.",
                name.c_str(), id.c_str(), split.manufacturer.c_str()));
            continue;
        }
        // The same device again moves to the end; another name with this code stays beside it.
        // Each row's (name, code) pairs are kept aside, so a list of one maker stays linear.
        auto [known, fresh] = held.try_emplace(row);
        if (fresh)
            for (const CDeviceSignature& s : row->m_Signatures)
                known->second.insert(s.m_strName + '\0' + s.m_strId);
        CDeviceSignature signature { std::move(name), split.device };
        if (!known->second.insert(signature.m_strName + '\0' + signature.m_strId).second)
            std::erase(row->m_Signatures, signature);
        row->m_Signatures.push_back(std::move(signature));
    }
    boxes.Finish();
}

void CDeviceIdDecoder::DecodeDeviceId(
    std::string_view id, int /*length*/, std::string_view code, std::string_view revision)
{
    const std::string upperId = Upper(id);

    // An erased or absent PIC answers all ones: no revision to show then, and no chip to name.
    const bool blankPic = !code.empty() && (upperId == "FFFF" || upperId == "3FFF");
    std::string workingCode;
    if (!code.empty() && !blankPic) {
        workingCode = code;
        if (code == kMicrochipCode)
            m_strRevision = Upper(revision);
    } else {
        m_strRevision = "-";
    }

    if (upperId == g_CurrentDevice.m_strId) {
        m_strDeviceId = upperId;
        m_strManufacturerText = g_CurrentDevice.m_strManufacturer;
        m_strType = g_CurrentDevice.m_strName;
        return;
    }

    m_strDeviceId = upperId;
    m_strManufacturerText = g_Language.GetText(kTextNotInLibrary);
    m_strType = g_Language.GetText(kTextUnknownDevice);
    if (blankPic)
        return;

    IdSplit split
        = workingCode == kMicrochipCode ? IdSplit { std::string(kMicrochipCode), {} } : SplitDeviceId(upperId, false);
    if (split.manufacturer.empty())
        return;
    if (workingCode.empty()) {
        m_strDeviceId = split.manufacturer + split.device;
    } else {
        split.manufacturer = workingCode;
        split.device = upperId;
    }
    if (const CManufacturerEntry* row = FindManufacturer(split.manufacturer)) {
        m_strManufacturerText = row->m_strName;
        const auto signature = std::find_if(row->m_Signatures.begin(), row->m_Signatures.end(),
            [&split](const CDeviceSignature& s) { return s.m_strId == split.device; });
        if (signature != row->m_Signatures.end())
            m_strType = signature->m_strName;
    }
    m_strDeviceId = Upper(m_strDeviceId);
}
