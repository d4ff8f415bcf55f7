// The user's remembered choices: the port and baud rate of the last
// successful download and the folder of the last loaded file, as values of
// one registry key (HKEY_CURRENT_USER\Software\Kestrune by default).
//
// Contract:
// - Reading never fails: a value that is absent, of another type, too long
//   or unreadable reads as empty (or 0), and the caller keeps its default.
// - A write that equals the stored value writes nothing; a write the
//   registry refuses is dropped. Nothing here ever reports an error: the
//   program works as before when the registry cannot be used.
#pragma once

#include <windows.h>

#include <string>

class CUserSettings {
public:
    explicit CUserSettings(HKEY root = HKEY_CURRENT_USER,
                           std::wstring subKey = L"Software\\Kestrune");

    std::wstring ReadText(const wchar_t* name) const;
    DWORD ReadNumber(const wchar_t* name) const;
    // True when the stored value now equals `value` (written or already so).
    bool WriteText(const wchar_t* name, const std::wstring& value) const;
    bool WriteNumber(const wchar_t* name, DWORD value) const;

    // Longest text value that is read, in characters (a path beyond MAX_PATH fits).
    static constexpr DWORD kMaxTextLength = 32767;

private:
    bool WriteIfChanged(const wchar_t* name, DWORD type, const void* data, DWORD size) const;

    HKEY root;
    std::wstring subKey;
};

// Value names.
inline constexpr wchar_t kSettingPort[] = L"Port";
inline constexpr wchar_t kSettingBaudRate[] = L"BaudRate";
inline constexpr wchar_t kSettingFolder[] = L"Folder";
