#pragma once
// Chip-ID decoding: the four texts the chip-ID dialog shows (the ID, its manufacturer, the device
// type and the revision), the JEDEC manufacturer table, and the device signatures imported from
// the device list, by which an ID read from the chip names its maker and its type.

#include <QByteArray>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The manufacturer code of the PIC classes: a word-wide ID read from one of them carries it,
// and only with it does the revision beside the ID mean something.
constexpr std::string_view kMicrochipCode = "29";

// One device of a manufacturer: its name and the ID text after the manufacturer code.
struct CDeviceSignature {
    std::string m_strName;
    std::string m_strId;
    bool operator==(const CDeviceSignature&) const = default;
};

// One row of the manufacturer table: the name, the code as upper-case hex with one "7F" in front
// for each bank after the first, and the imported signatures in import order.
struct CManufacturerEntry {
    std::string m_strName;
    std::string m_strCode;
    std::vector<CDeviceSignature> m_Signatures;
};

inline constexpr std::size_t kManufacturerRows = 453;
// The 453 rows in their order (catalogue/ManufacturerTable.cpp).
std::vector<CManufacturerEntry> MakeManufacturerTable();

// An ID split into its manufacturer code (bank continuations included) and the rest.
struct IdSplit {
    std::string manufacturer;
    std::string device;
};
// Pairs of "FF" or "00" before the manufacturer byte are skipped, "7F" pairs are continuations;
// an ID that ends on them has no manufacturer. An ID whose manufacturer byte is its last pair has
// one only for the import (`forImport`), never for the decoding. `upperId` is upper case.
IdSplit SplitDeviceId(std::string_view upperId, bool forImport);

class CDeviceIdDecoder {
public:
    // Builds the manufacturer table, without signatures.
    void FillManufacturerTable();
    // Imports the signatures of the device lines of a device list file (Name= and ID= by key;
    // ID="XXXX" skipped). Bad lines are logged through the device lists' log and boxed, three at
    // most. False, after a box, when the file cannot be read.
    bool LoadDeviceSignatures(const std::string& path);
    // The same for a file's bytes. Safe on any input.
    void ImportDeviceSignatures(const QByteArray& bytes);

    // `id`: the ID as hex text, in either letter case. `length` is not used. `code`: the
    // manufacturer code the caller knows ("29" for the PIC classes), else empty; `revision`:
    // the revision text that goes with that code.
    void DecodeDeviceId(std::string_view id, int length, std::string_view code, std::string_view revision);

    const std::vector<CManufacturerEntry>& Manufacturers() const { return m_Manufacturers; }
    // The first row with this code, or nullptr.
    const CManufacturerEntry* FindManufacturer(std::string_view code) const;

    std::string m_strDeviceId;
    std::string m_strManufacturerText;
    std::string m_strType;
    std::string m_strRevision;

private:
    CManufacturerEntry* FindManufacturerRow(std::string_view code);

    std::vector<CManufacturerEntry> m_Manufacturers;
};
