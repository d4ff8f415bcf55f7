// The dialog templates, string and icon as they are linked into the program:
// read back from the module's resources, so the captions in the UTF-8
// resource script are checked as the running program sees them.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

enum ClassOrdinal : WORD { kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kComboBox = 0x85 };

struct Item {
    DWORD style;
    DWORD exStyle;
    int id;
    short x, y, cx, cy;
    WORD classOrdinal;  // 0 when the class is named
    std::wstring className;
    std::wstring caption;
    WORD captionOrdinal;  // icon resource id for a static icon
};

struct Template {
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    std::wstring caption;
    WORD pointSize;
    std::wstring face;
    std::vector<Item> items;
};

class Reader {
public:
    explicit Reader(const BYTE* base) : base(base) {}
    template <class T>
    T Get() {
        T value;
        std::memcpy(&value, base + offset, sizeof value);
        offset += sizeof value;
        return value;
    }
    std::wstring String() {
        std::wstring text;
        for (WORD c = Get<WORD>(); c != 0; c = Get<WORD>()) text += static_cast<wchar_t>(c);
        return text;
    }
    // A name-or-ordinal field: 0 (none), 0xFFFF then an ordinal, or a string.
    void NameOrOrdinal(WORD& ordinal, std::wstring& name) {
        ordinal = 0;
        WORD first;
        std::memcpy(&first, base + offset, sizeof first);
        if (first == 0xFFFF) {
            offset += 2;
            ordinal = Get<WORD>();
        } else {
            name = String();
        }
    }
    void AlignDword() { offset = (offset + 3) & ~size_t{3}; }

private:
    const BYTE* base;
    size_t offset = 0;
};

Template LoadTemplate(int id) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC resource =
        ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!resource) return {};
    Reader in(static_cast<const BYTE*>(::LockResource(::LoadResource(module, resource))));
    Template t{};
    EXPECT_EQ(in.Get<WORD>(), 1);       // extended template
    EXPECT_EQ(in.Get<WORD>(), 0xFFFF);  // signature
    in.Get<DWORD>();                    // help id
    t.exStyle = in.Get<DWORD>();
    t.style = in.Get<DWORD>();
    const WORD count = in.Get<WORD>();
    in.Get<short>();
    in.Get<short>();
    t.cx = in.Get<short>();
    t.cy = in.Get<short>();
    WORD ordinal;
    std::wstring ignored;
    in.NameOrOrdinal(ordinal, ignored);  // menu
    in.NameOrOrdinal(ordinal, ignored);  // class
    t.caption = in.String();
    if (t.style & DS_SETFONT) {
        t.pointSize = in.Get<WORD>();
        in.Get<WORD>();
        in.Get<BYTE>();
        in.Get<BYTE>();
        t.face = in.String();
    }
    for (WORD i = 0; i < count; ++i) {
        in.AlignDword();
        Item item{};
        in.Get<DWORD>();
        item.exStyle = in.Get<DWORD>();
        item.style = in.Get<DWORD>();
        item.x = in.Get<short>();
        item.y = in.Get<short>();
        item.cx = in.Get<short>();
        item.cy = in.Get<short>();
        item.id = static_cast<int>(in.Get<DWORD>());
        in.NameOrOrdinal(item.classOrdinal, item.className);
        in.NameOrOrdinal(item.captionOrdinal, item.caption);
        const WORD extra = in.Get<WORD>();
        for (WORD b = 0; b < extra; ++b) in.Get<BYTE>();
        t.items.push_back(item);
    }
    return t;
}

struct Expected {
    int id;
    WORD classOrdinal;
    const wchar_t* className;
    DWORD typeMask;  // the low style bits that select the control's kind
    DWORD type;
    DWORD required;  // further bits that must be set
    DWORD absent;    // bits that must be clear
    const wchar_t* caption;
    short x, y, cx, cy;
};

constexpr DWORD kSingleLineEdit = ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP;
constexpr DWORD kList = WS_VSCROLL | WS_TABSTOP;

void ExpectItems(const Template& t, const std::vector<Expected>& expected) {
    ASSERT_EQ(t.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Item& item = t.items[i];
        const Expected& want = expected[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " id " << want.id);
        EXPECT_EQ(static_cast<short>(item.id), want.id);
        EXPECT_EQ(item.classOrdinal, want.classOrdinal);
        if (want.className) {
            // Window class names are not case sensitive; the compiler may change case.
            EXPECT_EQ(::_wcsicmp(item.className.c_str(), want.className), 0) << item.className;
        }
        EXPECT_EQ(item.style & want.typeMask, want.type);
        EXPECT_EQ(item.style & (WS_CHILD | WS_VISIBLE | want.required),
                  WS_CHILD | WS_VISIBLE | want.required);
        EXPECT_EQ(item.style & want.absent, 0u);
        EXPECT_EQ(item.caption, want.caption);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
    }
}

const wchar_t kFace[] = L"\u65B0\u7D30\u660E\u9AD4";  // the Traditional Chinese UI font
const wchar_t kAboutCaption[] = L"\u95DC\u65BC Kestrune";

}  // namespace

TEST(Templates, MainDialogHasEveryControlInTabOrder) {
    const Template t = LoadTemplate(IDD_MAIN);
    EXPECT_EQ(t.caption, L"Kestrune");
    EXPECT_EQ(t.face, kFace);
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.cx, 425);
    EXPECT_EQ(t.cy, 309);
    const DWORD frame = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(t.style & frame, frame);
    EXPECT_TRUE(t.exStyle & WS_EX_APPWINDOW);

    const DWORD button = 0x0F;
    const DWORD combo = 0x03;
    ExpectItems(
        t,
        {
            {IDC_PORT, kComboBox, nullptr, combo, CBS_DROPDOWNLIST, kList, CBS_SORT, L"", 80, 17,
             99, 172},
            {IDC_STATIC, kButton, nullptr, button, BS_GROUPBOX, 0, 0, L"Setting", 7, 7, 178, 51},
            {IDC_STATIC, kStatic, nullptr, SS_TYPEMASK, SS_RIGHT, 0, 0, L"COM Port : ", 8, 19, 70,
             8},
            {IDC_STATIC, kStatic, nullptr, SS_TYPEMASK, SS_RIGHT, 0, 0, L"Baudrate : ", 8, 40, 70,
             8},
            {IDC_BAUD, kComboBox, nullptr, combo, CBS_DROPDOWNLIST, kList, CBS_SORT, L"", 80, 38,
             99, 218},
            {IDC_STATIC, kButton, nullptr, button, BS_GROUPBOX, 0, 0, L"Code Buffer", 7, 82, 411,
             204},
            {IDC_STATIC, kButton, nullptr, button, BS_GROUPBOX, 0, 0, L"Message", 191, 7, 227, 71},
            {IDC_LOAD, kButton, nullptr, button, BS_PUSHBUTTON, WS_TABSTOP, 0, L"Load File", 7, 64,
             50, 14},
            {IDC_DOWNLOAD, kButton, nullptr, button, BS_PUSHBUTTON, WS_TABSTOP, 0, L"Download", 71,
             64, 50, 14},
            {IDCANCEL, kButton, nullptr, button, BS_PUSHBUTTON, WS_TABSTOP, 0, L"Exit", 135, 64, 50,
             14},
            // Multi-line: a Verify Error goes on the line below "Success !".
            {IDC_MESSAGE, kEdit, nullptr, ES_MULTILINE, ES_MULTILINE, kSingleLineEdit, 0, L"", 196,
             17, 217, 55},
            {IDC_CODE_BUFFER, kEdit, nullptr, ES_MULTILINE, ES_MULTILINE,
             ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, L"", 12, 91, 401, 189},
            {IDC_PROGRESS, 0, PROGRESS_CLASSW, PBS_SMOOTH, PBS_SMOOTH, WS_BORDER, 0, L"", 7, 289,
             250, 14},
            {IDC_CHECKSUM, kEdit, nullptr, ES_MULTILINE, 0, kSingleLineEdit, 0, L"", 378, 289, 40,
             14},
            {IDC_FILESIZE, kEdit, nullptr, ES_MULTILINE, 0, kSingleLineEdit, 0, L"", 292, 289, 40,
             14},
            {IDC_STATIC, kStatic, nullptr, SS_TYPEMASK, SS_LEFT, 0, 0, L"Checksum : ", 338, 292, 40,
             8},
            {IDC_STATIC, kStatic, nullptr, SS_TYPEMASK, SS_LEFT, 0, 0, L"Filesize : ", 262, 292, 30,
             8},
            {IDC_FILEPATH, kEdit, nullptr, ES_MULTILINE, 0, kSingleLineEdit, 0, L"", 7, 289, 250,
             14},
        });
}

TEST(Templates, AboutBoxAndSystemMenuString) {
    const Template t = LoadTemplate(IDD_ABOUT);
    EXPECT_EQ(t.caption, kAboutCaption);
    EXPECT_EQ(t.face, kFace);
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.cx, 235);
    EXPECT_EQ(t.cy, 55);
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(t.style & frame, frame);

    ASSERT_EQ(t.items.size(), 4u);
    EXPECT_EQ(t.items[0].classOrdinal, kStatic);
    EXPECT_EQ(t.items[0].style & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
    EXPECT_EQ(t.items[0].captionOrdinal, IDI_MAIN);
    EXPECT_EQ(t.items[0].x, 11);
    EXPECT_EQ(t.items[0].y, 17);
    EXPECT_EQ(t.items[0].cx, 20);
    EXPECT_EQ(t.items[0].cy, 20);
    EXPECT_EQ(t.items[1].caption, L"Kestrune Version 1.0");
    EXPECT_TRUE(t.items[1].style & SS_NOPREFIX);
    EXPECT_EQ(t.items[1].x, 40);
    EXPECT_EQ(t.items[1].y, 10);
    EXPECT_EQ(t.items[1].cx, 119);
    EXPECT_FALSE(t.items[2].caption.empty());
    EXPECT_EQ(t.items[2].y, 25);
    EXPECT_EQ(t.items[3].id, IDOK);
    EXPECT_EQ(t.items[3].style & 0x0F, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(t.items[3].caption, L"\u78BA\u5B9A");
    EXPECT_EQ(t.items[3].x, 178);
    EXPECT_EQ(t.items[3].y, 7);
    EXPECT_EQ(t.items[3].cx, 50);
    EXPECT_EQ(t.items[3].cy, 14);

    wchar_t text[64] = {};
    ASSERT_GT(::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUT_MENU, text, 64), 0);
    EXPECT_STREQ(text, L"\u95DC\u65BC Kestrune(&A)...");
}

TEST(Templates, IconHasImagesDrawnForSmallAndLargeSizes) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(IDI_MAIN),
                                  MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<BYTE*>(::LockResource(::LoadResource(module, group)));
    for (int size : {16, 32}) {
        // The image the system picks for this size must be one made for it,
        // not one it would have to scale.
        const int id = ::LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC image =
            ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3) /* RT_ICON */);
        ASSERT_NE(image, nullptr) << size;
        BITMAPINFOHEADER header{};
        std::memcpy(&header, ::LockResource(::LoadResource(module, image)), sizeof header);
        EXPECT_EQ(header.biWidth, size);
        EXPECT_EQ(header.biHeight, 2 * size);  // colour and mask
        EXPECT_EQ(header.biBitCount, 32);
    }
}
