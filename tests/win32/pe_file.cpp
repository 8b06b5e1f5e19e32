#include "pe_file.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace vantor::test {
namespace {

// Offsets of the PE/COFF format (Microsoft's "PE Format" documentation).
constexpr std::uint32_t kLfanew = 0x3C;         // in the DOS header
constexpr std::uint32_t kFileHeaderSize = 20;   // after "PE\0\0"
constexpr std::uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
constexpr std::uint32_t kSectionSize = 40;

}  // namespace

PeFile::PeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error_ = "cannot open " + path;
        return;
    }
    bytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') {
        error_ = "no DOS header";
        return;
    }
    const std::uint32_t pe = U32At(kLfanew);
    if (U32At(pe) != 0x00004550) {  // "PE\0\0"
        error_ = "no PE signature";
        return;
    }
    const std::uint32_t fileHeader = pe + 4;
    machine_ = U16At(fileHeader);
    const std::uint16_t sectionCount = U16At(fileHeader + 2);
    const std::uint16_t optionalSize = U16At(fileHeader + 16);
    characteristics_ = U16At(fileHeader + 18);

    const std::uint32_t optional = fileHeader + kFileHeaderSize;
    magic_ = U16At(optional);
    if (magic_ != kPe32 && magic_ != kPe32Plus) {
        error_ = "unknown optional header magic";
        return;
    }
    // The data directories follow the fields that differ in width.
    const std::uint32_t directories = optional + (magic_ == kPe32 ? 96 : 112);
    const std::uint32_t directoryCount = U32At(directories - 4);
    if (directoryCount > 0) exportRva_ = U32At(directories);
    if (directoryCount > 1) importRva_ = U32At(directories + 8);

    const std::uint32_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint32_t at = table + i * kSectionSize;
        sections_.push_back({U32At(at + 12), U32At(at + 8), U32At(at + 20), U32At(at + 16)});
    }
}

std::uint32_t PeFile::U32At(std::uint32_t offset) const {
    std::uint32_t value = 0;
    if (offset <= bytes_.size() && bytes_.size() - offset >= 4) {
        std::memcpy(&value, bytes_.data() + offset, 4);
    }
    return value;
}

std::uint16_t PeFile::U16At(std::uint32_t offset) const {
    std::uint16_t value = 0;
    if (offset <= bytes_.size() && bytes_.size() - offset >= 2) {
        std::memcpy(&value, bytes_.data() + offset, 2);
    }
    return value;
}

std::optional<std::uint32_t> PeFile::FileOffset(std::uint32_t rva) const {
    for (const Section& s : sections_) {
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
            return s.rawOffset + (rva - s.virtualAddress);
        }
    }
    return std::nullopt;
}

std::uint32_t PeFile::RvaU32(std::uint32_t rva) const {
    const auto offset = FileOffset(rva);
    return offset ? U32At(*offset) : 0;
}

std::string PeFile::TextAt(std::uint32_t rva) const {
    std::string text;
    const auto offset = FileOffset(rva);
    if (!offset) return text;
    for (std::uint32_t i = *offset; i < bytes_.size() && bytes_[i] != 0; ++i) {
        text.push_back(static_cast<char>(bytes_[i]));
    }
    return text;
}

std::string PeFile::ExportName() const {
    return exportRva_ ? TextAt(RvaU32(exportRva_ + 12)) : std::string();
}

std::uint32_t PeFile::ExportFunctionCount() const {
    return exportRva_ ? RvaU32(exportRva_ + 20) : 0;
}

std::vector<std::string> PeFile::ExportNames() const {
    std::vector<std::string> names;
    if (exportRva_ == 0) return names;
    const std::uint32_t count = RvaU32(exportRva_ + 24);
    const std::uint32_t nameTable = RvaU32(exportRva_ + 32);
    for (std::uint32_t i = 0; i < count && i < 4096; ++i) {
        names.push_back(TextAt(RvaU32(nameTable + 4 * i)));
    }
    return names;
}

std::vector<std::string> PeFile::ImportNames() const {
    std::vector<std::string> names;
    if (importRva_ == 0) return names;
    // 20-byte descriptors up to an all-zero one; the DLL name's RVA at 12.
    for (std::uint32_t at = importRva_; names.size() < 4096; at += 20) {
        const std::uint32_t name = RvaU32(at + 12);
        if (name == 0) break;
        names.push_back(TextAt(name));
    }
    return names;
}

}  // namespace vantor::test
