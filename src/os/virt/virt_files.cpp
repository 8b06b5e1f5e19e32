// An in-memory file system behind the seam's file and folder calls: folders,
// files opened for append, wildcard searches, deletion, the share modes of
// open files (the driver's and those another program holds) as Windows
// checks them, links, the rights a folder was created with, and faults a
// test can put on a folder (no permission, a full disk, a drive that went
// away). Paths
// compare without regard to case and with either slash, as on Windows; drive
// roots ("C:") always exist.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "os/virt/virt.h"
#include "os/virt/virt_internal.h"

namespace os {
namespace {

struct Node {
    std::string path;  // as created, backslashes
    bool folder = false;
    std::string data;
    bool link = false;     // a reparse point
    std::string rights;    // the SDDL it was created with
};

struct OpenFile {
    std::string key;
    bool append = false;
    bool write = false;
    std::size_t position = 0;
    std::uint32_t access = 0;
    std::uint32_t share = 0;
    bool other = false;  // held by another program (HoldFile)
};

struct Search {
    std::vector<std::string> names;
    std::size_t next = 0;
};

// File and search handles stay far from the serial ports' values.
constexpr Handle kFirstFileHandle = 0x40000000;

struct FileState {
    std::map<std::string, Node> nodes;  // by key (upper case, backslashes)
    std::map<Handle, OpenFile> open;
    std::map<Handle, Search> searches;
    std::map<std::string, virt::FolderFault> faults;  // by folder key
    std::vector<virt::FileCall> calls;
    Handle next = kFirstFileHandle;
    std::uint32_t lastError = 0;
};

FileState& State() {
    static FileState state;
    return state;
}

std::string Slashed(const std::string& path) {
    std::string out = path;
    std::replace(out.begin(), out.end(), '/', '\\');
    while (out.size() > 1 && out.back() == '\\') out.pop_back();
    return out;
}

std::string KeyOf(const std::string& path) {
    std::string key = Slashed(path);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

std::string ParentKey(const std::string& key) {
    const std::size_t slash = key.rfind('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

bool IsDriveRoot(const std::string& key) {
    return key.size() == 2 && std::isalpha(static_cast<unsigned char>(key[0])) && key[1] == ':';
}

bool FolderExists(const std::string& key) {
    if (IsDriveRoot(key)) return true;
    const auto it = State().nodes.find(key);
    return it != State().nodes.end() && it->second.folder;
}

// The fault on the nearest folder at or above `key`.
virt::FolderFault FaultOn(const std::string& key) {
    for (std::string k = key; !k.empty(); k = ParentKey(k)) {
        const auto it = State().faults.find(k);
        if (it != State().faults.end() && it->second != virt::FolderFault::kNone) return it->second;
    }
    return virt::FolderFault::kNone;
}

std::uint32_t ErrorOf(virt::FolderFault fault) {
    switch (fault) {
        case virt::FolderFault::kReadOnly: return kErrorAccessDenied;
        case virt::FolderFault::kFull: return kErrorDiskFull;
        case virt::FolderFault::kGone: return kErrorPathNotFound;
        case virt::FolderFault::kNone: break;
    }
    return 0;
}

template <typename Result>
Result Fail(std::uint32_t error, Result result) {
    State().lastError = error;
    return result;
}

// The newest calls are kept (at least the last 10 000), as with the port calls.
void Note(const char* function, const std::string& path) {
    if (!virt::RecordingCalls()) return;
    constexpr std::size_t kKeptCalls = 10000;
    auto& calls = State().calls;
    if (calls.size() >= 2 * kKeptCalls)
        calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(kKeptCalls));
    calls.push_back(virt::FileCall{function, path, virt::Now(), virt::PortCalls().size()});
}

// '*' any run of characters, '?' one; without regard to case.
bool Matches(const char* mask, const char* name) {
    if (*mask == '\0') return *name == '\0';
    if (*mask == '*') return Matches(mask + 1, name) || (*name != '\0' && Matches(mask, name + 1));
    if (*name == '\0') return false;
    if (*mask != '?' && std::toupper(static_cast<unsigned char>(*mask)) !=
                            std::toupper(static_cast<unsigned char>(*name)))
        return false;
    return Matches(mask + 1, name + 1);
}

void Fill(const Node& node, FindData* data) {
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = node.folder ? kFileAttributeDirectory : kFileAttributeNormal;
    const std::uint64_t size = node.data.size();
    data->nFileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    data->nFileSizeLow = static_cast<std::uint32_t>(size);
    const std::size_t slash = node.path.rfind('\\');
    const std::string name = slash == std::string::npos ? node.path : node.path.substr(slash + 1);
    std::strncpy(data->cFileName, name.c_str(), sizeof data->cFileName - 1);
}

Node* FileOf(Handle h, OpenFile** file) {
    auto it = State().open.find(h);
    if (it == State().open.end()) return nullptr;
    *file = &it->second;
    auto node = State().nodes.find(it->second.key);
    return node == State().nodes.end() ? nullptr : &node->second;
}

constexpr std::uint32_t kReadAccess = kGenericRead | 0x0001;  // FILE_READ_DATA
constexpr std::uint32_t kWriteAccess = kGenericWrite | 0x0002 | kFileAppendData;  // FILE_WRITE_DATA
constexpr std::uint32_t kDeleteAccess = 0x00010000;  // DELETE

// Whether an open of `key` with `access` and `share` may stand next to the
// handles already open on it, as Windows decides: each side must share what
// the other asks for.
bool SharingAllows(const std::string& key, std::uint32_t access, std::uint32_t share) {
    for (const auto& [h, file] : State().open) {
        if (file.key != key) continue;
        const bool fine =
            !((access & kReadAccess) && !(file.share & kFileShareRead)) &&
            !((access & kWriteAccess) && !(file.share & kFileShareWrite)) &&
            !((access & kDeleteAccess) && !(file.share & kFileShareDelete)) &&
            !((file.access & kReadAccess) && !(share & kFileShareRead)) &&
            !((file.access & kWriteAccess) && !(share & kFileShareWrite)) &&
            !((file.access & kDeleteAccess) && !(share & kFileShareDelete));
        if (!fine) return false;
    }
    return true;
}

}  // namespace

int CreateDirectoryA(const char* path, const char* sddl) {
    if (path == nullptr) return Fail(kErrorPathNotFound, 0);
    Note("CreateDirectoryA", path);
    const std::string key = KeyOf(path);
    if (const auto fault = FaultOn(key); fault != virt::FolderFault::kNone)
        return Fail(ErrorOf(fault), 0);
    if (FolderExists(key) || State().nodes.count(key) != 0) return Fail(kErrorAlreadyExists, 0);
    if (!FolderExists(ParentKey(key))) return Fail(kErrorPathNotFound, 0);
    State().nodes[key] = Node{Slashed(path), true, {}, false, sddl != nullptr ? sddl : ""};
    return 1;
}

std::uint32_t GetFileAttributesA(const char* path) {
    if (path == nullptr) return Fail(kErrorFileNotFound, kInvalidFileAttributes);
    Note("GetFileAttributesA", path);
    const std::string key = KeyOf(path);
    if (FaultOn(key) == virt::FolderFault::kGone) return Fail(kErrorPathNotFound, kInvalidFileAttributes);
    if (IsDriveRoot(key)) return kFileAttributeDirectory;
    const auto it = State().nodes.find(key);
    if (it == State().nodes.end())
        return Fail(FolderExists(ParentKey(key)) ? kErrorFileNotFound : kErrorPathNotFound,
                    kInvalidFileAttributes);
    return (it->second.folder ? kFileAttributeDirectory : kFileAttributeNormal) |
           (it->second.link ? kFileAttributeReparsePoint : 0);
}

int GetCurrentUserSid(char* sid, std::size_t size) {
    if (sid == nullptr || size <= std::strlen(virt::kUserSid)) return 0;
    std::strcpy(sid, virt::kUserSid);
    return 1;
}

int DeleteFileA(const char* path) {
    if (path == nullptr) return Fail(kErrorFileNotFound, 0);
    Note("DeleteFileA", path);
    const std::string key = KeyOf(path);
    if (const auto fault = FaultOn(key); fault == virt::FolderFault::kReadOnly ||
                                         fault == virt::FolderFault::kGone)
        return Fail(ErrorOf(fault), 0);
    const auto it = State().nodes.find(key);
    if (it == State().nodes.end() || it->second.folder) return Fail(kErrorFileNotFound, 0);
    if (!SharingAllows(key, kDeleteAccess, kFileShareRead | kFileShareWrite | kFileShareDelete))
        return Fail(kErrorSharingViolation, 0);
    State().nodes.erase(it);
    return 1;
}

int GetFileSizeEx(Handle h, std::int64_t* size) {
    OpenFile* file = nullptr;
    const Node* node = FileOf(h, &file);
    if (node == nullptr) return Fail(6u /* ERROR_INVALID_HANDLE */, 0);
    if (FaultOn(file->key) == virt::FolderFault::kGone) return Fail(kErrorPathNotFound, 0);
    if (size != nullptr) *size = static_cast<std::int64_t>(node->data.size());
    return 1;
}

Handle FindFirstFileA(const char* pattern, FindData* data) {
    if (pattern == nullptr || data == nullptr) return Fail(kErrorFileNotFound, kInvalidHandle);
    Note("FindFirstFileA", pattern);
    const std::string key = KeyOf(pattern);
    const std::string folder = ParentKey(key);
    const std::string mask = key.substr(folder.size() + (folder.empty() ? 0 : 1));
    if (FaultOn(folder) == virt::FolderFault::kGone || !FolderExists(folder))
        return Fail(kErrorPathNotFound, kInvalidHandle);
    Search search;
    for (const auto& [k, node] : State().nodes)
        if (ParentKey(k) == folder && Matches(mask.c_str(), k.substr(folder.size() + 1).c_str()))
            search.names.push_back(k);
    if (search.names.empty()) return Fail(kErrorFileNotFound, kInvalidHandle);
    Fill(State().nodes[search.names[0]], data);
    search.next = 1;
    const Handle h = State().next;
    State().next += 4;
    State().searches[h] = std::move(search);
    return h;
}

int FindNextFileA(Handle find, FindData* data) {
    const auto it = State().searches.find(find);
    if (it == State().searches.end() || data == nullptr) return Fail(6u, 0);
    Search& search = it->second;
    // Entries deleted since the search began are passed over, as Windows does.
    while (search.next < search.names.size()) {
        const auto node = State().nodes.find(search.names[search.next++]);
        if (node == State().nodes.end()) continue;
        Fill(node->second, data);
        return 1;
    }
    return Fail(kErrorNoMoreFiles, 0);
}

int FindClose(Handle find) { return State().searches.erase(find) != 0 ? 1 : Fail(6u, 0); }

std::uint32_t GetLastError() { return State().lastError; }

std::int32_t SHGetFolderPathA(int folder, char* path) {
    if (path == nullptr || folder != kCsidlCommonAppData) return static_cast<std::int32_t>(0x80070057u);
    std::strcpy(path, virt::kCommonAppData);
    return 0;
}

namespace virt {

bool IsDiskHandle(Handle h) { return State().open.count(h) != 0; }

Handle CreateDiskFile(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t creation) {
    Note("CreateFileA", path);
    const std::string key = KeyOf(path);
    const bool writing = (access & (kGenericWrite | kFileAppendData)) != 0;
    const FolderFault fault = FaultOn(key);
    if (fault == FolderFault::kGone || (fault == FolderFault::kReadOnly && writing))
        return Fail(ErrorOf(fault), kInvalidHandle);
    if (!FolderExists(ParentKey(key))) return Fail(kErrorPathNotFound, kInvalidHandle);
    auto it = State().nodes.find(key);
    if (it != State().nodes.end() && it->second.folder) return Fail(kErrorAccessDenied, kInvalidHandle);
    const bool exists = it != State().nodes.end();
    if (!exists && creation == kOpenExisting) return Fail(kErrorFileNotFound, kInvalidHandle);
    if (exists && !SharingAllows(key, access, share)) return Fail(kErrorSharingViolation, kInvalidHandle);
    if (!exists) State().nodes[key] = Node{Slashed(path), false, {}, false, {}};
    const Handle h = State().next;
    State().next += 4;
    State().open[h] = OpenFile{key, (access & kFileAppendData) != 0 && (access & kGenericWrite) == 0,
                               writing, 0, access, share};
    State().lastError = exists && creation == kOpenAlways ? kErrorAlreadyExists : 0;
    return h;
}

int ReadDiskFile(Handle h, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    OpenFile* file = nullptr;
    const Node* node = FileOf(h, &file);
    if (read != nullptr) *read = 0;
    if (node == nullptr || buffer == nullptr) return Fail(6u, 0);
    const std::size_t n = std::min<std::size_t>(toRead, node->data.size() - std::min(file->position, node->data.size()));
    std::memcpy(buffer, node->data.data() + file->position, n);
    file->position += n;
    if (read != nullptr) *read = static_cast<std::uint32_t>(n);
    return 1;
}

int WriteDiskFile(Handle h, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) {
    OpenFile* file = nullptr;
    Node* node = FileOf(h, &file);
    if (written != nullptr) *written = 0;
    if (node == nullptr || !file->write || (buffer == nullptr && toWrite != 0)) return Fail(5u, 0);
    Note("WriteFile", node->path);
    if (const FolderFault fault = FaultOn(file->key); fault != FolderFault::kNone)
        return Fail(ErrorOf(fault), 0);
    const char* bytes = static_cast<const char*>(buffer);
    if (file->append) {
        node->data.append(bytes, toWrite);
    } else {
        if (node->data.size() < file->position + toWrite) node->data.resize(file->position + toWrite);
        std::memcpy(node->data.data() + file->position, bytes, toWrite);
        file->position += toWrite;
    }
    if (written != nullptr) *written = toWrite;
    return 1;
}

int CloseDiskHandle(Handle h) { return State().open.erase(h) != 0 ? 1 : 0; }

void SetFolderFault(const std::string& folder, FolderFault fault) {
    State().faults[KeyOf(folder)] = fault;
}

void PutFile(const std::string& path, const std::string& bytes) {
    const std::string key = KeyOf(path);
    const std::string shown = Slashed(path);
    // Every folder above it, then the file.
    for (std::size_t at = shown.find('\\'); at != std::string::npos; at = shown.find('\\', at + 1)) {
        const std::string folderKey = KeyOf(shown.substr(0, at));
        if (!FolderExists(folderKey)) State().nodes[folderKey] = Node{shown.substr(0, at), true, {}, false, {}};
    }
    State().nodes[key] = Node{shown, false, bytes, false, {}};
}

bool FileExists(const std::string& path) {
    const auto it = State().nodes.find(KeyOf(path));
    return it != State().nodes.end() && !it->second.folder;
}

std::string FileText(const std::string& path) {
    const auto it = State().nodes.find(KeyOf(path));
    return it == State().nodes.end() ? std::string() : it->second.data;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    const std::string key = KeyOf(folder);
    std::vector<std::string> names;
    for (const auto& [k, node] : State().nodes)
        if (!node.folder && ParentKey(k) == key) names.push_back(node.path.substr(node.path.rfind('\\') + 1));
    return names;
}

int OpenFileCount() {
    int count = static_cast<int>(State().searches.size());
    for (const auto& [h, file] : State().open) count += file.other ? 0 : 1;
    return count;
}

Handle HoldFile(const std::string& path, std::uint32_t access, std::uint32_t share) {
    const std::string key = KeyOf(path);
    if (State().nodes.count(key) == 0) PutFile(path, {});
    const Handle h = State().next;
    State().next += 4;
    State().open[h] = OpenFile{key, false, false, 0, access, share, true};
    return h;
}

void ReleaseFile(Handle held) { State().open.erase(held); }

void MakeLink(const std::string& path, bool folder) {
    const std::string key = KeyOf(path);
    if (State().nodes.count(key) == 0) {
        PutFile(path, {});
        State().nodes[key].folder = folder;
    }
    State().nodes[key].link = true;
}

std::string FolderRights(const std::string& path) {
    const auto it = State().nodes.find(KeyOf(path));
    return it == State().nodes.end() ? std::string() : it->second.rights;
}

const std::vector<FileCall>& FileCalls() { return State().calls; }

void ResetFiles() { State() = FileState{}; }

}  // namespace virt
}  // namespace os
