#include "app/UserSettings.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

// Owns one open key; null when it could not be opened.
class ScopedKey {
public:
    ScopedKey(HKEY root, const std::wstring& subKey, REGSAM access, bool create) {
        const LONG status =
            create ? ::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       access, nullptr, &key, nullptr)
                   : ::RegOpenKeyExW(root, subKey.c_str(), 0, access, &key);
        if (status != ERROR_SUCCESS) key = nullptr;
    }
    ~ScopedKey() {
        if (key) ::RegCloseKey(key);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY get() const { return key; }

private:
    HKEY key = nullptr;
};

// The value's type and bytes, or false when it cannot be read within `limit` bytes.
bool QueryValue(HKEY key, const wchar_t* name, DWORD limit, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size > limit)
        return false;
    data.assign(size, 0);
    // The value may change between the two calls: the second one is bounded
    // by the buffer and fails rather than overrun it.
    if (::RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return false;
    data.resize(size);
    return true;
}

}  // namespace

CUserSettings::CUserSettings(HKEY root, std::wstring subKey)
    : root(root), subKey(std::move(subKey)) {}

std::wstring CUserSettings::ReadText(const wchar_t* name) const {
    ScopedKey key(root, subKey, KEY_QUERY_VALUE, false);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!key.get() ||
        !QueryValue(key.get(), name, (kMaxTextLength + 1) * sizeof(wchar_t), type, data) ||
        type != REG_SZ)
        return {};
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    // The stored string need not end in a terminator, and may hold one early.
    text.resize(std::wcslen(text.c_str()));
    return text;
}

DWORD CUserSettings::ReadNumber(const wchar_t* name) const {
    ScopedKey key(root, subKey, KEY_QUERY_VALUE, false);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!key.get() || !QueryValue(key.get(), name, sizeof(DWORD), type, data) ||
        type != REG_DWORD || data.size() != sizeof(DWORD))
        return 0;
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

bool CUserSettings::WriteText(const wchar_t* name, const std::wstring& value) const {
    return WriteIfChanged(name, REG_SZ, value.c_str(),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool CUserSettings::WriteNumber(const wchar_t* name, DWORD value) const {
    return WriteIfChanged(name, REG_DWORD, &value, sizeof value);
}

bool CUserSettings::WriteIfChanged(const wchar_t* name, DWORD type, const void* data,
                                   DWORD size) const {
    {
        ScopedKey key(root, subKey, KEY_QUERY_VALUE, false);
        DWORD storedType = 0;
        std::vector<BYTE> stored;
        if (key.get() && QueryValue(key.get(), name, size, storedType, stored) &&
            storedType == type && stored.size() == size &&
            std::memcmp(stored.data(), data, size) == 0)
            return true;
    }
    ScopedKey key(root, subKey, KEY_SET_VALUE, true);
    return key.get() && ::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data),
                                         size) == ERROR_SUCCESS;
}
