// Host stand-in for advapi32's read-only registry calls over an in-memory map of values.
// Tests put values in with setRegistryValue (strings) or setRegistryData (any type); key and
// value names ignore case, subkeys are listed in the order Windows lists them. The registry
// has two views, as on 64-bit Windows: the process sees one by default (the 64-bit one, or the
// 32-bit one after setWow64(true)) and reaches the other through KEY_WOW64_32KEY or
// KEY_WOW64_64KEY.
#include "control.h"
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr LSTATUS kErrorInvalidHandle = 6;
constexpr LSTATUS kErrorInvalidParameter = 87;

enum View { kView32 = 32, kView64 = 64 };

struct Value {
    DWORD type;
    std::string data; // the bytes as stored, a string's terminator included
};

// (root, view, lower-case key path, lower-case value name) -> value
using ValueId = std::tuple<uintptr_t, int, std::string, std::string>;
// (root, view, lower-case key path) -> the path as first written, for listing subkeys
using KeyId = std::tuple<uintptr_t, int, std::string>;

std::mutex registryLock;
std::map<ValueId, Value> values;
std::map<KeyId, std::string> spellings;
std::set<std::pair<uintptr_t, std::string>> deniedKeys;
bool wow64 = false;
DWORD failingEnumIndex = 0;
LSTATUS failingEnumError = ERROR_SUCCESS;

// Heap object behind an opened HKEY; the predefined roots are not objects.
struct OpenKey {
    static constexpr uint32_t kMagic = 0x4B455920; // "KEY "
    uint32_t magic;
    uintptr_t root;
    int view;
    std::string path;
};

bool isRoot(HKEY key) {
    return ((uintptr_t)key & 0xFFFFFFF0u) == 0x80000000u;
}

std::string lower(const std::string &text) {
    std::string s = text;
    for (char &c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

// Key paths are kept without outer backslashes.
std::string trimmed(const char *path) {
    std::string s = path ? path : "";
    size_t first = s.find_first_not_of('\\'), last = s.find_last_not_of('\\');
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

std::string join(const std::string &parent, const std::string &child) {
    if (parent.empty() || child.empty()) return parent + child;
    return parent + "\\" + child;
}

int defaultView() {
    return wow64 ? kView32 : kView64;
}

int viewOf(compat::RegistryView view) {
    if (view == compat::RegistryView::Bits32) return kView32;
    if (view == compat::RegistryView::Bits64) return kView64;
    return defaultView();
}

int viewOfAccess(REGSAM access) {
    if (access & KEY_WOW64_64KEY) return kView64;
    if (access & KEY_WOW64_32KEY) return kView32;
    return defaultView();
}

// Resolves an HKEY to its root, view and path; false for anything that is not a key.
bool locate(HKEY key, REGSAM access, uintptr_t *root, int *view, std::string *path) {
    if (isRoot(key)) {
        *root = (uintptr_t)key;
        *view = viewOfAccess(access);
        path->clear();
        return true;
    }
    const OpenKey *k = (const OpenKey *)key;
    if (!k || k->magic != OpenKey::kMagic) return false;
    *root = k->root;
    *view = k->view;
    *path = k->path;
    return true;
}

bool isBelow(const std::string &key, const std::string &path) {
    return path.empty() || (key.compare(0, path.size(), path) == 0 &&
                            (key.size() == path.size() || key[path.size()] == '\\'));
}

// A key exists when a value lives in it or in a key below it, as parent keys do.
bool keyExists(uintptr_t root, int view, const std::string &path) {
    for (const auto &entry : values)
        if (std::get<0>(entry.first) == root && std::get<1>(entry.first) == view &&
            isBelow(std::get<2>(entry.first), path))
            return true;
    return path.empty();
}

// Windows lists subkeys by their upper-case names.
bool listedBefore(const std::string &a, const std::string &b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int ca = toupper((unsigned char)a[i]), cb = toupper((unsigned char)b[i]);
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

// The names of the direct subkeys of a key, as first written, in listing order.
std::vector<std::string> subkeys(uintptr_t root, int view, const std::string &path) {
    std::set<std::string> seen;
    std::vector<std::string> names;
    for (const auto &entry : spellings) {
        const std::string &key = std::get<2>(entry.first);
        if (std::get<0>(entry.first) != root || std::get<1>(entry.first) != view ||
            key.size() <= path.size() || !isBelow(key, path))
            continue;
        size_t begin = path.empty() ? 0 : path.size() + 1;
        size_t end = key.find('\\', begin);
        std::string child = key.substr(begin, end == std::string::npos ? end : end - begin);
        if (seen.insert(child).second) names.push_back(entry.second.substr(begin, child.size()));
    }
    std::sort(names.begin(), names.end(), listedBefore);
    return names;
}

void store(HKEY root, const char *key, const char *name, int view, const Value &value) {
    std::lock_guard<std::mutex> hold(registryLock);
    std::string path = trimmed(key);
    values[ValueId((uintptr_t)root, view, lower(path), lower(name ? name : ""))] = value;
    // Every key on the way down keeps the spelling it was first written with.
    for (size_t end = path.find('\\'); !path.empty(); end = path.find('\\', end + 1)) {
        std::string part = end == std::string::npos ? path : path.substr(0, end);
        spellings.emplace(KeyId((uintptr_t)root, view, lower(part)), part);
        if (end == std::string::npos) break;
    }
}

} // namespace

namespace compat {
namespace detail {

void resetRegistry() {
    std::lock_guard<std::mutex> hold(registryLock);
    values.clear();
    spellings.clear();
    deniedKeys.clear();
    wow64 = false;
    failingEnumError = ERROR_SUCCESS;
}

bool isWow64() {
    std::lock_guard<std::mutex> hold(registryLock);
    return wow64;
}

} // namespace detail

void setRegistryValue(HKEY root, const char *key, const char *name, const char *value,
                      RegistryView view) {
    std::string text = value ? value : "";
    store(root, key, name, viewOf(view), Value{REG_SZ, std::string(text.c_str(), text.size() + 1)});
}

void setRegistryData(HKEY root, const char *key, const char *name, DWORD type,
                     const std::string &data, RegistryView view) {
    store(root, key, name, viewOf(view), Value{type, data});
}

void setWow64(bool on) {
    std::lock_guard<std::mutex> hold(registryLock);
    wow64 = on;
}

void failRegistryEnumAt(DWORD index, LSTATUS error) {
    std::lock_guard<std::mutex> hold(registryLock);
    failingEnumIndex = index;
    failingEnumError = error;
}

void denyRegistryKey(HKEY root, const char *key) {
    std::lock_guard<std::mutex> hold(registryLock);
    deniedKeys.emplace((uintptr_t)root, lower(trimmed(key)));
}

} // namespace compat

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, HKEY *result) {
    uintptr_t root;
    int view;
    std::string parent;
    if (!result) return kErrorInvalidParameter;
    *result = nullptr;
    if (!locate(key, access, &root, &view, &parent)) return kErrorInvalidHandle;
    std::lock_guard<std::mutex> hold(registryLock);
    std::string path = join(parent, lower(trimmed(subKey)));
    if (!keyExists(root, view, path)) return ERROR_FILE_NOT_FOUND;
    if (deniedKeys.count({root, path})) return ERROR_ACCESS_DENIED;
    *result = new OpenKey{OpenKey::kMagic, root, view, path};
    return ERROR_SUCCESS;
}

// The stored bytes, a string's terminator included. A buffer too small is left untouched
// and *size is set to what is needed.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    uintptr_t root;
    int view;
    std::string path;
    if (!locate(key, 0, &root, &view, &path)) return kErrorInvalidHandle;
    if (data && !size) return kErrorInvalidParameter;
    Value value;
    {
        std::lock_guard<std::mutex> hold(registryLock);
        auto it = values.find(ValueId(root, view, path, lower(name ? name : "")));
        if (it == values.end()) return ERROR_FILE_NOT_FOUND;
        value = it->second;
    }
    if (type) *type = value.type;
    DWORD needed = (DWORD)value.data.size();
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data) memcpy(data, value.data.data(), needed);
    if (size) *size = needed;
    return ERROR_SUCCESS;
}

// *nameSize counts characters with the terminator on the way in and without it on the way
// out; a name that does not fit is reported as ERROR_MORE_DATA and not written.
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR, LPDWORD,
                      LPFILETIME) {
    uintptr_t root;
    int view;
    std::string path;
    if (!locate(key, 0, &root, &view, &path)) return kErrorInvalidHandle;
    if (!name || !nameSize) return kErrorInvalidParameter;
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> hold(registryLock);
        if (failingEnumError != ERROR_SUCCESS && index == failingEnumIndex) return failingEnumError;
        names = subkeys(root, view, path);
    }
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    const std::string &found = names[index];
    if (found.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = (DWORD)found.size();
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
