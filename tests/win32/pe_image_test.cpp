// The shipped file itself: a PE32 i386 DLL exporting exactly the three COM
// entry points, importing only Windows system DLLs, with its version resource.
// The files are read as data, so the checks hold for the i686 product even
// where this test program is the x86_64 twin (VANTOR_PRODUCT_DLL names the
// product; by default it is the DLL beside this program). The DLL beside the
// program, whichever its architecture, gets the same checks for its own format.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "com_fixture.h"
#include "pe_file.h"
#include "vantor_version.h"

namespace vantor::test {
namespace {

constexpr bool kRunsAs32Bit = sizeof(void*) == 4;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string ProductDllPath() {
    const char* given = std::getenv("VANTOR_PRODUCT_DLL");
    return given != nullptr && *given != '\0' ? given : DllPath();
}

struct Image {
    const char* what;
    std::string path;
    bool pe32;  // PE32 i386, else PE32+ x86_64
};

void PrintTo(const Image& image, std::ostream* out) { *out << image.what << ": " << image.path; }

std::vector<Image> Images() {
    std::vector<Image> images = {{"product", ProductDllPath(), true}};
    if (!kRunsAs32Bit) images.push_back({"beside this program", DllPath(), false});
    return images;
}

class PeImage : public ::testing::TestWithParam<Image> {};

TEST_P(PeImage, IsADllOfItsArchitecture) {
    const PeFile pe(GetParam().path);
    ASSERT_EQ(pe.Error(), "") << GetParam().path;
    if (GetParam().pe32) {
        EXPECT_EQ(pe.Machine(), IMAGE_FILE_MACHINE_I386);
        EXPECT_EQ(pe.OptionalMagic(), IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    } else {
        EXPECT_EQ(pe.Machine(), IMAGE_FILE_MACHINE_AMD64);
        EXPECT_EQ(pe.OptionalMagic(), IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    }
    EXPECT_TRUE(pe.Characteristics() & IMAGE_FILE_DLL);
}

TEST_P(PeImage, ExportsExactlyTheThreeEntryPointsUndecorated) {
    const PeFile pe(GetParam().path);
    ASSERT_EQ(pe.Error(), "");
    const std::vector<std::string> names = pe.ExportNames();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                     "DllRegisterServer"}));
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(pe.ExportFunctionCount(), 3u) << "no exports by ordinal only";
    EXPECT_EQ(pe.ExportName(), "Vantor.dll");
}

TEST_P(PeImage, ImportsOnlyWindowsSystemDlls) {
    const std::set<std::string> system = {
        "kernel32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll",
        "user32.dll",   "gdi32.dll",    "shell32.dll", "version.dll",
    };
    const PeFile pe(GetParam().path);
    ASSERT_EQ(pe.Error(), "");
    const std::vector<std::string> imported = pe.ImportNames();
    EXPECT_FALSE(imported.empty());
    for (const std::string& dll : imported) {
        EXPECT_TRUE(system.count(Lower(dll))) << "imports " << dll;
    }
}

TEST_P(PeImage, CarriesItsVersionResource) {
    // The version API reads the resource as data, whatever the architecture.
    const std::string& path = GetParam().path;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << path;
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
    EXPECT_EQ(fixed->dwFileVersionMS,
              static_cast<DWORD>((VANTOR_VERSION_MAJOR << 16) | VANTOR_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(VANTOR_VERSION_PATCH << 16));
}

INSTANTIATE_TEST_SUITE_P(Files, PeImage, ::testing::ValuesIn(Images()),
                         [](const ::testing::TestParamInfo<Image>& info) {
                             return info.param.pe32 ? std::string("Product")
                                                    : std::string("Beside");
                         });

// A file that is no PE image gives an error, not a fault.
TEST(PeFileReader, RejectsWhatIsNoImage) {
    EXPECT_NE(PeFile(BesideExe("no-such-file.dll")).Error(), "");
    char temp[MAX_PATH] = {}, name[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    ASSERT_NE(GetTempFileNameA(temp, "pe", 0, name), 0u);
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // "MZ" with e_lfanew pointing far past the end of the file.
    std::vector<char> bytes(64, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 0x7F;
    bytes[0x3F] = 0x7F;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(PeFile(name).Error(), "no PE signature");
    DeleteFileA(name);
}

}  // namespace
}  // namespace vantor::test
