#include "sim_registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>

namespace {

const char kRoot[] = "HKLM";

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

struct SimValue {
    DWORD type = SIM_REG_SZ;
    std::vector<BYTE> data;
    LONG refusal = ERROR_SUCCESS;
};

struct SimKey {
    std::string path;                           // as first spelled
    std::vector<std::string> subkeys;           // names in enumeration order
    std::map<std::string, SimValue> values;     // by lower-case name
    LONG openRefusal = ERROR_SUCCESS;
    DWORD enumFailIndex = UINT32_MAX;
    LONG enumFailure = ERROR_SUCCESS;
};

struct SimHandle {
    std::string path;  // lower case
};

std::map<std::string, SimKey> keys;  // by lower-case full path
std::vector<std::unique_ptr<SimHandle>> handles;
std::vector<std::string> openedKeys;
std::vector<std::string> commands;

SimKey& KeyAt(const std::string& path) {
    SimAddKey(path);
    return keys.at(Lower(path));
}

SimHandle* FindHandle(HKEY key) {
    for (auto& handle : handles) {
        if (reinterpret_cast<HKEY>(handle.get()) == key) {
            return handle.get();
        }
    }
    return nullptr;
}

// The lower-case path a key handle stands for, or empty for an unknown handle.
std::string HandlePath(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) {
        return Lower(kRoot);
    }
    SimHandle* handle = FindHandle(key);
    return handle ? handle->path : std::string();
}

SimKey* FindKey(HKEY key) {
    std::string path = HandlePath(key);
    auto it = keys.find(path);
    return it == keys.end() ? nullptr : &it->second;
}

}  // namespace

void SimReset() {
    keys.clear();
    handles.clear();
    openedKeys.clear();
    commands.clear();
    keys[Lower(kRoot)].path = kRoot;
}

void SimAddKey(const std::string& path) {
    if (keys.empty()) {
        keys[Lower(kRoot)].path = kRoot;
    }
    if (keys.count(Lower(path))) {
        return;
    }
    size_t slash = path.rfind('\\');
    std::string parent = slash == std::string::npos ? kRoot : path.substr(0, slash);
    SimAddKey(parent);
    keys[Lower(parent)].subkeys.push_back(path.substr(slash + 1));
    keys[Lower(path)].path = path;
}

void SimSetValue(const std::string& keyPath, const std::string& name, DWORD type,
                 const std::vector<BYTE>& data) {
    SimValue& value = KeyAt(keyPath).values[Lower(name)];
    value.type = type;
    value.data = data;
}

void SimSetString(const std::string& keyPath, const std::string& name, const std::string& text) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    SimSetValue(keyPath, name, SIM_REG_SZ, data);
}

void SimSetMultiString(const std::string& keyPath, const std::string& name,
                       std::initializer_list<std::string> texts) {
    std::vector<BYTE> data;
    for (const std::string& text : texts) {
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
    }
    data.push_back(0);
    SimSetValue(keyPath, name, SIM_REG_MULTI_SZ, data);
}

void SimSetDword(const std::string& keyPath, const std::string& name, uint32_t value) {
    std::vector<BYTE> data = {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
    SimSetValue(keyPath, name, SIM_REG_DWORD, data);
}

void SimRefuseOpen(const std::string& keyPath, LONG error) {
    KeyAt(keyPath).openRefusal = error;
}

void SimRefuseValue(const std::string& keyPath, const std::string& name, LONG error) {
    KeyAt(keyPath).values[Lower(name)].refusal = error;
}

void SimFailEnumeration(const std::string& keyPath, DWORD fromIndex, LONG error) {
    SimKey& key = KeyAt(keyPath);
    key.enumFailIndex = fromIndex;
    key.enumFailure = error;
}

int SimOpenKeyCount() {
    return static_cast<int>(handles.size());
}

const std::vector<std::string>& SimOpenedKeys() {
    return openedKeys;
}

const std::vector<std::string>& SimCommands() {
    return commands;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    if (ulOptions != 0 || samDesired != KEY_READ || !phkResult) {
        return 87;  // ERROR_INVALID_PARAMETER: hostpin always reads with options 0 and KEY_READ
    }
    std::string parent = HandlePath(hKey);
    if (parent.empty()) {
        return 6;  // ERROR_INVALID_HANDLE
    }
    std::string path = parent + "\\" + Lower(lpSubKey ? lpSubKey : "");
    auto it = keys.find(path);
    if (it == keys.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (it->second.openRefusal != ERROR_SUCCESS) {
        return it->second.openRefusal;
    }
    handles.push_back(std::unique_ptr<SimHandle>(new SimHandle{path}));
    openedKeys.push_back(it->second.path);
    *phkResult = reinterpret_cast<HKEY>(handles.back().get());
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    (void)lpReserved;
    (void)lpClass;
    (void)lpcchClass;
    (void)lpftLastWriteTime;
    SimKey* key = FindKey(hKey);
    if (!key) {
        return 6;
    }
    if (dwIndex >= key->enumFailIndex) {
        return key->enumFailure;
    }
    if (dwIndex >= key->subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const std::string& name = key->subkeys[dwIndex];
    if (name.size() >= *lpcchName) {
        return ERROR_MORE_DATA;
    }
    memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
    (void)lpReserved;
    SimKey* key = FindKey(hKey);
    if (!key) {
        return 6;
    }
    auto it = key->values.find(Lower(lpValueName ? lpValueName : ""));
    if (it == key->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const SimValue& value = it->second;
    if (value.refusal != ERROR_SUCCESS) {
        return value.refusal;
    }
    if (lpType) {
        *lpType = value.type;
    }
    if (lpData && value.data.size() > *lpcbData) {
        *lpcbData = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
    }
    if (lpData) {
        std::copy(value.data.begin(), value.data.end(), lpData);
    }
    *lpcbData = static_cast<DWORD>(value.data.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    auto it = std::find_if(handles.begin(), handles.end(), [hKey](const std::unique_ptr<SimHandle>& h) {
        return reinterpret_cast<HKEY>(h.get()) == hKey;
    });
    if (it == handles.end()) {
        return 6;
    }
    handles.erase(it);
    return ERROR_SUCCESS;
}

void RunCommandLine(const char* commandLine) {
    commands.push_back(commandLine);
}
