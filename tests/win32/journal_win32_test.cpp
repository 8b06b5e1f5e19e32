// The journal on the real (Wine) system: the seam's file, folder, time and
// registry calls against their Win32 originals, the settings read from
// HKEY_LOCAL_MACHINE, two threads (two device objects of one host)
// appending to one day file without mixing their lines, lines that wait
// while another program holds the file, the folder's rights and links.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "journal/day_file.h"
#include "com/whole_file.h"
#include "journal/line_format.h"
#include "journal/settings.h"
#include "os/os.h"

namespace {

namespace jr = vantor::journal;

// A fresh folder under the temporary folder, removed with what it holds.
class TempFolder {
public:
    explicit TempFolder(const char* name) {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        path_ = std::string(temp) + name + std::to_string(GetCurrentProcessId());
        Remove();
    }
    ~TempFolder() { Remove(); }
    const std::string& Path() const { return path_; }

private:
    void Remove() {
        WIN32_FIND_DATAA found{};
        const HANDLE find = FindFirstFileA((path_ + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string entry = path_ + "\\" + found.cFileName;
                if (!DeleteFileA(entry.c_str()) && found.cFileName[0] != '.') RemoveDirectoryA(entry.c_str());
            } while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(path_.c_str());
    }
    std::string path_;
};


// The journal's registry values for the length of a test, put back after.
class JournalRegistry {
public:
    JournalRegistry() {
        for (const char* name : {jr::kFolderValue, jr::kDaysValue, jr::kMegabytesValue, jr::kDayMegabytesValue})
            Save(name);
    }
    ~JournalRegistry() {
        for (const auto& [name, value] : saved_) {
            if (value.first == REG_NONE) Delete(name.c_str());
            else Set(name.c_str(), value.first, value.second);
        }
    }
    static void Set(const char* name, DWORD type, const std::string& bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, jr::kRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
    static void SetText(const char* name, const std::string& text) {
        Set(name, REG_SZ, std::string(text.c_str(), text.size() + 1));
    }
    static void SetNumber(const char* name, DWORD value) {
        Set(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
    }
    static void Delete(const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, jr::kRegistryKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }

private:
    void Save(const char* name) {
        HKEY key = nullptr;
        std::pair<DWORD, std::string> value{REG_NONE, {}};
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, jr::kRegistryKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            char data[1024];
            DWORD size = sizeof data;
            DWORD type = 0;
            if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS)
                value = {type, std::string(data, size)};
            RegCloseKey(key);
        }
        saved_[name] = value;
    }
    std::map<std::string, std::pair<DWORD, std::string>> saved_;
};

TEST(JournalWin32, FilesFoldersAndSearchThroughTheSeam) {
    TempFolder folder("vantor-journal-seam-");
    ASSERT_NE(os::CreateDirectoryA(folder.Path().c_str(), nullptr), 0);
    EXPECT_EQ(os::CreateDirectoryA(folder.Path().c_str(), nullptr), 0);
    EXPECT_EQ(os::GetLastError(), os::kErrorAlreadyExists);

    const std::string file = folder.Path() + "\\journal-2026-12-09.txt";
    for (const char* piece : {"ab", "cd"}) {
        const os::Handle h = os::CreateFileA(file.c_str(), os::kFileAppendData,
                                             os::kFileShareRead | os::kFileShareWrite, os::kOpenAlways,
                                             os::kFileAttributeNormal);
        ASSERT_NE(h, os::kInvalidHandle);
        std::uint32_t written = 0;
        ASSERT_NE(os::WriteFile(h, piece, 2, &written), 0);
        EXPECT_EQ(written, 2u);
        std::int64_t size = -1;
        ASSERT_NE(os::GetFileSizeEx(h, &size), 0);
        EXPECT_EQ(size, piece[0] == 'a' ? 2 : 4);
        os::CloseHandle(h);
    }
    EXPECT_EQ(vantor::com::ReadWholeFile(file), "abcd");

    os::FindData found{};
    const os::Handle find = os::FindFirstFileA((folder.Path() + "\\journal-*.txt").c_str(), &found);
    ASSERT_NE(find, os::kInvalidHandle);
    EXPECT_STREQ(found.cFileName, "journal-2026-12-09.txt");
    EXPECT_EQ(found.nFileSizeLow, 4u);
    EXPECT_EQ(os::FindNextFileA(find, &found), 0);
    EXPECT_EQ(os::GetLastError(), os::kErrorNoMoreFiles);
    os::FindClose(find);

    ASSERT_NE(os::DeleteFileA(file.c_str()), 0);
    EXPECT_EQ(os::FindFirstFileA((folder.Path() + "\\journal-*.txt").c_str(), &found), os::kInvalidHandle);
    EXPECT_EQ(os::CreateFileA((folder.Path() + "\\missing\\x.txt").c_str(), os::kFileAppendData, 0,
                              os::kOpenAlways, os::kFileAttributeNormal),
              os::kInvalidHandle);
    EXPECT_EQ(os::GetLastError(), os::kErrorPathNotFound);
}

TEST(JournalWin32, TimeZoneAndCommonFolderAsWindowsHasThem) {
    SYSTEMTIME real{};
    ::GetLocalTime(&real);
    os::SystemTime seam{};
    os::GetLocalTime(&seam);
    EXPECT_EQ(seam.wYear, real.wYear);
    EXPECT_EQ(seam.wMonth, real.wMonth);
    EXPECT_EQ(seam.wDay, real.wDay);
    EXPECT_LE(seam.wHour * 60 + seam.wMinute - (real.wHour * 60 + real.wMinute), 1);

    TIME_ZONE_INFORMATION zone{};
    const DWORD id = ::GetTimeZoneInformation(&zone);
    os::TimeZoneInformation mirrored{};
    EXPECT_EQ(os::GetTimeZoneInformation(&mirrored), id);
    EXPECT_EQ(mirrored.Bias, zone.Bias);
    EXPECT_EQ(mirrored.DaylightBias, zone.DaylightBias);

    char common[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common), S_OK);
    char viaSeam[os::kMaxPath] = {};
    ASSERT_EQ(os::SHGetFolderPathA(os::kCsidlCommonAppData, viaSeam), 0);
    EXPECT_STREQ(viaSeam, common);
}

// The driver's settings from HKLM\SOFTWARE\Vantor, through the seam.
TEST(JournalWin32, SettingsComeFromTheRegistry) {
    JournalRegistry registry;
    JournalRegistry::Delete(jr::kFolderValue);
    JournalRegistry::Delete(jr::kDaysValue);
    JournalRegistry::Delete(jr::kMegabytesValue);
    char common[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    jr::Settings s = jr::ReadSettings();
    EXPECT_TRUE(s.on);
    EXPECT_EQ(std::string(s.folder), std::string(common) + "\\Vantor\\journal");
    EXPECT_EQ(s.days, 90u);
    EXPECT_EQ(s.megabytes, 20u);
    EXPECT_EQ(s.dayMegabytes, 4u);

    JournalRegistry::SetText(jr::kFolderValue, "D:\\plant\\sms\\");
    JournalRegistry::SetNumber(jr::kDaysValue, 30);
    JournalRegistry::SetNumber(jr::kMegabytesValue, 5);
    s = jr::ReadSettings();
    EXPECT_TRUE(s.on);
    EXPECT_STREQ(s.folder, "D:\\plant\\sms");
    EXPECT_EQ(s.days, 30u);
    EXPECT_EQ(s.megabytes, 5u);

    JournalRegistry::SetText(jr::kFolderValue, "Off");
    EXPECT_FALSE(jr::ReadSettings().on);
}

// Two threads, as two device objects polled by two host threads, append to
// the same day file: every line whole, each once, one header.
TEST(JournalWin32, TwoThreadsAppendWholeLines) {
    JournalRegistry registry;
    TempFolder folder("vantor-journal-threads-");
    JournalRegistry::SetText(jr::kFolderValue, folder.Path());
    const os::SystemTime day{2026, 12, 3, 9, 3, 12, 5, 0};
    constexpr int kLines = 300;
    auto writer = [&](char who) {
        for (int i = 0; i < kLines; ++i) {
            // Lines of different lengths.
            std::string lines = std::string(1 + i % 7, who) + "\t" + std::to_string(i) +
                                std::string(static_cast<std::size_t>(50 + (i * 37) % 400), '.') + "\r\n";
            ASSERT_TRUE(jr::AppendLines(day, lines.data(), lines.size()));
        }
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();

    const std::string text = vantor::com::ReadWholeFile(folder.Path() + "\\journal-2026-12-09.txt");
    ASSERT_EQ(text.rfind(std::string(jr::kFileStart, jr::kFileStartLength), 0), 0u);
    std::set<std::string> seen;
    std::size_t start = jr::kFileStartLength;
    int count = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        const char who = line.empty() ? '?' : line[0];
        ASSERT_TRUE(who == 'A' || who == 'B') << line;
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const int i = std::stoi(line.substr(tab + 1));
        EXPECT_EQ(line, std::string(1 + i % 7, who) + "\t" + std::to_string(i) +
                            std::string(static_cast<std::size_t>(50 + (i * 37) % 400), '.'));
        EXPECT_TRUE(seen.insert(line).second) << line;
        ++count;
    }
    EXPECT_EQ(start, text.size());
    EXPECT_EQ(count, 2 * kLines);
}

// A spreadsheet holds the day file open against writing: the lines wait and
// follow once it is closed; the file can be read meanwhile.
TEST(JournalWin32, LinesWaitWhileASpreadsheetHoldsTheFile) {
    JournalRegistry registry;
    TempFolder folder("vantor-journal-held-");
    JournalRegistry::SetText(jr::kFolderValue, folder.Path());
    jr::ForgetWriterState();
    const os::SystemTime day{2026, 12, 3, 9, 3, 12, 5, 0};
    const std::string first = "first\r\n", second = "second\r\n", third = "third\r\n";
    ASSERT_TRUE(jr::AppendLines(day, first.data(), first.size()));
    const std::string file = folder.Path() + "\\journal-2026-12-09.txt";
    const std::string start(jr::kFileStart, jr::kFileStartLength);

    HANDLE sheet = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(sheet, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(jr::AppendLines(day, second.data(), second.size()));
    std::string text;
    DWORD error = 0;
    EXPECT_TRUE(vantor::com::ReadWholeFile(file, text, error)) << error;
    EXPECT_EQ(text, start + first);
    CloseHandle(sheet);

    ASSERT_TRUE(jr::AppendLines(day, third.data(), third.size()));
    EXPECT_EQ(vantor::com::ReadWholeFile(file), start + first + second + third);
    jr::ForgetWriterState();
}

// A file's or folder's access list as SDDL, "" when it cannot be read.
std::string DaclOf(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    char* shown = nullptr;
    std::string text;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &shown, nullptr)) {
        text = shown;
        LocalFree(shown);
    }
    LocalFree(descriptor);
    return text;
}

// The seam's account SID is the process token's, and a folder made with the
// journal's rights carries them (as far as Wine keeps a folder's rights).
TEST(JournalWin32, TheFolderIsMadeWithTheJournalsRights) {
    char sid[192] = {};
    ASSERT_NE(os::GetCurrentUserSid(sid, sizeof sid), 0);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    alignas(TOKEN_USER) unsigned char buffer[256];
    DWORD needed = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed));
    CloseHandle(token);
    char* expected = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &expected));
    EXPECT_STREQ(sid, expected);
    LocalFree(expected);
    EXPECT_EQ(os::GetCurrentUserSid(sid, 8), 0);  // does not fit

    TempFolder folder("vantor-journal-rights-");
    char rights[160];
    jr::FolderRights(sid, rights);
    ASSERT_NE(os::CreateDirectoryA(folder.Path().c_str(), rights), 0) << GetLastError();
    EXPECT_EQ(os::CreateDirectoryA((folder.Path() + "\\bad").c_str(), "D:(nonsense"), 0);
    EXPECT_EQ(GetFileAttributesA((folder.Path() + "\\bad").c_str()), INVALID_FILE_ATTRIBUTES);

    // The folder's rights as the system keeps them: no entry for everyone or
    // the users, one for the account. Wine keeps them as the Unix mode of the
    // folder (a plain folder there shows read rights for everyone, WD): it
    // shows SYSTEM and the owner only, the list unprotected; Windows keeps
    // the list as given, administrators (BA) and protection (P) included.
    const std::string made = DaclOf(folder.Path());
    ASSERT_FALSE(made.empty());
    EXPECT_NE(made.find(std::string(";;;") + sid + ")"), std::string::npos) << made;
    EXPECT_NE(made.find(";;;SY)"), std::string::npos) << made;
    EXPECT_EQ(made.find(";;;WD)"), std::string::npos) << made;
    EXPECT_EQ(made.find(";;;BU)"), std::string::npos) << made;
    EXPECT_EQ(made.find(";;;AU)"), std::string::npos) << made;
    if (made.find(";;;BA)") != std::string::npos) EXPECT_EQ(made.rfind("D:P", 0), 0u) << made;
}

// A journal folder that is a link is not written through. Wine makes
// symbolic links where it can; without them the test says so and stops.
TEST(JournalWin32, AFolderThatIsALinkIsNotFollowed) {
    JournalRegistry registry;
    TempFolder target("vantor-journal-target-");
    TempFolder links("vantor-journal-links-");
    ASSERT_NE(CreateDirectoryA(target.Path().c_str(), nullptr), 0);
    ASSERT_NE(CreateDirectoryA(links.Path().c_str(), nullptr), 0);
    const std::string link = links.Path() + "\\journal";
    if (!CreateSymbolicLinkA(link.c_str(), target.Path().c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "no symbolic links here (error " << GetLastError() << ")";
    const DWORD attributes = GetFileAttributesA(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        RemoveDirectoryA(link.c_str());
        GTEST_SKIP() << "links are not shown as reparse points here";
    }
    EXPECT_EQ(os::GetFileAttributesA(link.c_str()) & os::kFileAttributeReparsePoint,
              os::kFileAttributeReparsePoint);
    JournalRegistry::SetText(jr::kFolderValue, link);
    jr::ForgetWriterState();
    const os::SystemTime day{2026, 12, 3, 9, 3, 12, 5, 0};
    const std::string line = "line\r\n";
    EXPECT_FALSE(jr::AppendLines(day, line.data(), line.size()));
    EXPECT_EQ(GetFileAttributesA((target.Path() + "\\journal-2026-12-09.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryA(link.c_str());
    jr::ForgetWriterState();
}

}  // namespace
