// A PE image read from its file as plain data: no loader involved, so the
// 32-bit product (PE32, i386) can be checked by a test program of either
// architecture, and a broken file fails a check instead of faulting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor::test {

class PeFile {
public:
    // Reads and parses the headers; Error() says what was wrong, if anything.
    explicit PeFile(const std::string& path);

    const std::string& Error() const { return error_; }
    std::uint16_t Machine() const { return machine_; }
    std::uint16_t OptionalMagic() const { return magic_; }
    std::uint16_t Characteristics() const { return characteristics_; }

    // The export table's DLL name, its names, and its function count.
    std::string ExportName() const;
    std::vector<std::string> ExportNames() const;
    std::uint32_t ExportFunctionCount() const;
    // The DLL names of the import table, in file order.
    std::vector<std::string> ImportNames() const;

private:
    struct Section {
        std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
    };
    std::optional<std::uint32_t> FileOffset(std::uint32_t rva) const;
    std::uint32_t U32At(std::uint32_t offset) const;
    std::uint16_t U16At(std::uint32_t offset) const;
    std::uint32_t RvaU32(std::uint32_t rva) const;
    std::string TextAt(std::uint32_t rva) const;

    std::vector<std::uint8_t> bytes_;
    std::string error_;
    std::uint16_t machine_ = 0, magic_ = 0, characteristics_ = 0;
    std::uint32_t exportRva_ = 0, importRva_ = 0;
    std::vector<Section> sections_;
};

}  // namespace vantor::test
