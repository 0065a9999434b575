#include "link/FirmwareText.h"

#include "platform/Resources.h"
#include "transport/FirmwareTransform.h"
#include "transport/IntelHex.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {

constexpr std::size_t kMaxFile = 1u << 20;

std::string LowerExtension(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

} // namespace

std::optional<std::string> CFirmwareText::StoredResource(int number)
{
    const auto data = platform::LoadResource("DATAF", number);
    if (!data)
        return std::nullopt;
    return std::string(data->constData(), static_cast<std::size_t>(data->size()));
}

std::optional<std::string> CFirmwareText::FromResource(int number)
{
    auto stored = StoredResource(number);
    if (!stored)
        return std::nullopt;
    return firmware::Untransform(std::move(*stored));
}

std::string CFirmwareText::FromStored(const std::uint8_t* data, std::size_t size)
{
    return firmware::Untransform(std::string(reinterpret_cast<const char*>(data), size));
}

CFirmwareText::FileKind CFirmwareText::KindOf(const std::string& path)
{
    const std::string ext = LowerExtension(path);
    if (ext == ".hex")
        return FileKind::Hex;
    if (ext == ".enc")
        return FileKind::Enc;
    return FileKind::Other;
}

std::optional<std::string> CFirmwareText::ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string out;
    char chunk[16384];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        out.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (out.size() > kMaxFile)
            return std::nullopt;
    }
    if (in.bad())
        return std::nullopt;
    return out;
}

CFirmwareText::Plan CFirmwareText::MakePlan(const std::string& text, std::uint32_t limit, std::size_t maxBlock)
{
    Plan plan;
    const intelhex::ParseResult parsed = intelhex::Parse(text);
    if (!parsed.ok) {
        plan.error = parsed.error;
        return plan;
    }
    std::uint32_t base = 0;
    for (const intelhex::Record& r : parsed.records) {
        if (r.type == intelhex::SegmentBase || r.type == intelhex::LinearBase) {
            base = r.Base();
            continue;
        }
        if (r.type != intelhex::Data || r.data.empty())
            continue;
        const std::uint32_t start = base + r.address;
        std::size_t keep = 0;
        if (start < limit)
            keep = std::min<std::size_t>(r.data.size(), limit - start);
        plan.skipped += r.data.size() - keep;
        std::size_t done = 0;
        while (done < keep) {
            const std::uint32_t at = start + static_cast<std::uint32_t>(done);
            Block* last = plan.blocks.empty() ? nullptr : &plan.blocks.back();
            if (!last || last->address + last->data.size() != at || last->data.size() >= maxBlock) {
                plan.blocks.push_back({ static_cast<std::uint16_t>(at), {} });
                last = &plan.blocks.back();
            }
            // A record that would carry the block past its size starts the next one.
            if (last->data.size() + (keep - done) > maxBlock && !last->data.empty()) {
                plan.blocks.push_back({ static_cast<std::uint16_t>(at), {} });
                last = &plan.blocks.back();
            }
            const std::size_t n = std::min(keep - done, maxBlock - last->data.size());
            last->data.insert(last->data.end(), r.data.begin() + static_cast<std::ptrdiff_t>(done),
                r.data.begin() + static_cast<std::ptrdiff_t>(done + n));
            done += n;
        }
    }
    plan.ok = true;
    return plan;
}
