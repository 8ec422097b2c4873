// Host stand-in for advapi32's read-only registry calls over an in-memory map of string
// values. Tests put values in with setRegistryValue; key and value names ignore case.
#include <windows.h>
#include "control.h"

#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace {

constexpr LSTATUS kErrorInvalidHandle = 6;
constexpr LSTATUS kErrorInvalidParameter = 87;
constexpr LSTATUS kErrorMoreData = 234;
constexpr DWORD kRegSz = 1;

// (root, lower-case key path, lower-case value name) -> text
using ValueId = std::tuple<uintptr_t, std::string, std::string>;
std::mutex registryLock;
std::map<ValueId, std::string> values;

// Heap object behind an opened HKEY; the predefined roots are not objects.
struct OpenKey {
    static constexpr uint32_t kMagic = 0x4B455920; // "KEY "
    uint32_t magic;
    uintptr_t root;
    std::string path;
};

bool isRoot(HKEY key) {
    return ((uintptr_t)key & 0xFFFFFFF0u) == 0x80000000u;
}

std::string lower(const char *text) {
    std::string s = text ? text : "";
    for (char &c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

// Key paths are compared without case and without outer backslashes.
std::string keyPath(const char *path) {
    std::string s = lower(path);
    size_t first = s.find_first_not_of('\\'), last = s.find_last_not_of('\\');
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

std::string join(const std::string &parent, const std::string &child) {
    if (parent.empty() || child.empty()) return parent + child;
    return parent + "\\" + child;
}

// Resolves an HKEY to its root and path; false for anything that is not a key.
bool locate(HKEY key, uintptr_t *root, std::string *path) {
    if (isRoot(key)) {
        *root = (uintptr_t)key;
        path->clear();
        return true;
    }
    const OpenKey *k = (const OpenKey *)key;
    if (!k || k->magic != OpenKey::kMagic) return false;
    *root = k->root;
    *path = k->path;
    return true;
}

// A key exists when a value lives in it or in a key below it, as parent keys do.
bool keyExists(uintptr_t root, const std::string &path) {
    if (path.empty()) return true;
    for (const auto &entry : values) {
        const std::string &k = std::get<1>(entry.first);
        if (std::get<0>(entry.first) == root && k.compare(0, path.size(), path) == 0 &&
            (k.size() == path.size() || k[path.size()] == '\\'))
            return true;
    }
    return false;
}

} // namespace

namespace compat {
namespace detail {

void resetRegistry() {
    std::lock_guard<std::mutex> hold(registryLock);
    values.clear();
}

} // namespace detail

void setRegistryValue(HKEY root, const char *key, const char *name, const char *value) {
    std::lock_guard<std::mutex> hold(registryLock);
    values[ValueId((uintptr_t)root, keyPath(key), lower(name))] = value ? value : "";
}

} // namespace compat

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, HKEY *result) {
    uintptr_t root;
    std::string parent;
    if (!result) return kErrorInvalidParameter;
    *result = nullptr;
    if (!locate(key, &root, &parent)) return kErrorInvalidHandle;
    std::string path = join(parent, keyPath(subKey));
    std::lock_guard<std::mutex> hold(registryLock);
    if (!keyExists(root, path)) return ERROR_FILE_NOT_FOUND;
    *result = new OpenKey{OpenKey::kMagic, root, path};
    return ERROR_SUCCESS;
}

// Every value is a REG_SZ; its size counts the terminator. A buffer too small is left
// untouched and *size is set to what is needed.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    uintptr_t root;
    std::string path;
    if (!locate(key, &root, &path)) return kErrorInvalidHandle;
    if (data && !size) return kErrorInvalidParameter;
    std::string text;
    {
        std::lock_guard<std::mutex> hold(registryLock);
        auto it = values.find(ValueId(root, path, lower(name)));
        if (it == values.end()) return ERROR_FILE_NOT_FOUND;
        text = it->second;
    }
    if (type) *type = kRegSz;
    DWORD needed = (DWORD)text.size() + 1;
    if (data && *size < needed) {
        *size = needed;
        return kErrorMoreData;
    }
    if (data) memcpy(data, text.c_str(), needed);
    if (size) *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (isRoot(key)) return ERROR_SUCCESS;
    OpenKey *k = (OpenKey *)key;
    if (!k || k->magic != OpenKey::kMagic) return kErrorInvalidHandle;
    k->magic = 0;
    delete k;
    return ERROR_SUCCESS;
}
