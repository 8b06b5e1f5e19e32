// The shipped file itself: a PE32 i386 DLL exporting exactly the three COM
// entry points, importing only Windows system DLLs, with its version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "com_fixture.h"
#include "vantor_version.h"

namespace vantor::test {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The image mapped without running its entry point or resolving imports, so
// RVAs can be followed directly.
class PeImage : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(DllPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(module_, nullptr) << DllPath();
        base_ = reinterpret_cast<const std::uint8_t*>(module_);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base_);
        ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
        nt_ = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base_ + dos->e_lfanew);
        ASSERT_EQ(nt_->Signature, IMAGE_NT_SIGNATURE);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    template <class T>
    const T* At(DWORD rva) const {
        return reinterpret_cast<const T*>(base_ + rva);
    }
    const IMAGE_DATA_DIRECTORY& Directory(int index) const {
        return nt_->OptionalHeader.DataDirectory[index];
    }

    HMODULE module_ = nullptr;
    const std::uint8_t* base_ = nullptr;
    const IMAGE_NT_HEADERS32* nt_ = nullptr;
};

TEST_F(PeImage, IsA32BitI386Dll) {
    EXPECT_EQ(nt_->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt_->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_TRUE(nt_->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

TEST_F(PeImage, ExportsExactlyTheThreeEntryPointsUndecorated) {
    const IMAGE_DATA_DIRECTORY& dir = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(dir.VirtualAddress, 0u);
    const auto* exports = At<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
    std::set<std::string> names;
    const auto* nameRvas = At<DWORD>(exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(At<char>(nameRvas[i]));
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                            "DllRegisterServer"}));
    EXPECT_EQ(exports->NumberOfFunctions, 3u) << "no exports by ordinal only";
    EXPECT_STREQ(At<char>(exports->Name), "Vantor.dll");
}

TEST_F(PeImage, ImportsOnlyWindowsSystemDlls) {
    const std::set<std::string> system = {
        "kernel32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll",
        "user32.dll",   "gdi32.dll",    "shell32.dll", "version.dll",
    };
    const IMAGE_DATA_DIRECTORY& dir = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(dir.VirtualAddress, 0u);
    std::vector<std::string> imported;
    for (const auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(dir.VirtualAddress); entry->Name != 0;
         ++entry) {
        imported.push_back(Lower(At<char>(entry->Name)));
    }
    EXPECT_FALSE(imported.empty());
    for (const std::string& dll : imported) {
        EXPECT_TRUE(system.count(dll)) << "imports " << dll;
    }
}

TEST_F(PeImage, CarriesItsVersionResource) {
    const std::string path = DllPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    auto text = [&](const char* key) -> std::string {
        const std::string query = std::string("\\StringFileInfo\\040904B0\\") + key;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data.data(), query.c_str(), &value, &length)) return {};
        return static_cast<const char*>(value);
    };
    EXPECT_EQ(text("ProductName"), "Vantor");
    // The version of the CMake project, the one place it is set.
    EXPECT_EQ(text("FileVersion"), VANTOR_VERSION);
    EXPECT_EQ(text("ProductVersion"), VANTOR_VERSION);
    EXPECT_FALSE(text("FileDescription").empty());

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>((VANTOR_VERSION_MAJOR << 16) | VANTOR_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(VANTOR_VERSION_PATCH << 16));
}

}  // namespace
}  // namespace vantor::test
