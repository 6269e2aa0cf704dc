// Checks the resources linked into this test program from resources/zelio.rc:
// the main menu, the output test dialog template, the application icon, the
// banner bitmap and the manifest. Everything is loaded from the test's own
// module, exactly as the program loads it from its own.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "win32/win32_unique.h"
#include "resource.h"

namespace {

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

// UTF-8 (as written in this file) to UTF-16, independently of how the
// resource compiler read its script.
std::wstring utf16(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                        static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::wstring lower(std::wstring s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; });
    return s;
}

HMODULE self() { return GetModuleHandleW(nullptr); }

// The raw bytes of one resource of this module (empty when it is missing).
std::vector<uint8_t> resourceBytes(LPCWSTR type, LPCWSTR name) {
    HRSRC info = FindResourceW(self(), name, type);
    if (!info) return {};
    HGLOBAL handle = LoadResource(self(), info);
    if (!handle) return {};
    const auto* p = static_cast<const uint8_t*>(LockResource(handle));
    const DWORD size = SizeofResource(self(), info);
    if (!p) return {};
    return std::vector<uint8_t>(p, p + size);
}

// Little-endian reader over resource bytes. Reading past the end sets
// `overrun` and yields zeros, so a truncated template fails the checks
// instead of reading foreign memory.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint8_t u8() {
        if (pos_ + 1 > bytes_.size()) { overrun = true; pos_ = bytes_.size(); return 0; }
        return bytes_[pos_++];
    }
    uint16_t u16() { const uint16_t lo = u8(); return uint16_t(lo | (u8() << 8)); }
    uint32_t u32() { const uint32_t lo = u16(); return lo | (uint32_t(u16()) << 16); }
    int16_t s16() { return static_cast<int16_t>(u16()); }

    std::wstring sz() {
        std::wstring s;
        for (uint16_t c = u16(); c != 0 && !overrun; c = u16()) s.push_back(wchar_t(c));
        return s;
    }

    // A "string or ordinal" field: 0x0000 (none), 0xFFFF + ordinal, or a string.
    struct SzOrOrd {
        bool isOrdinal = false;
        uint16_t ordinal = 0;
        std::wstring text;
    };
    SzOrOrd szOrOrd() {
        SzOrOrd v;
        const size_t start = pos_;
        const uint16_t first = u16();
        if (first == 0xFFFF) {
            v.isOrdinal = true;
            v.ordinal = u16();
        } else if (first != 0) {
            pos_ = start;
            v.text = sz();
        }
        return v;
    }

    void alignDword() { pos_ = std::min(bytes_.size(), (pos_ + 3) & ~size_t(3)); }
    void skip(size_t n) {
        if (pos_ + n > bytes_.size()) { overrun = true; pos_ = bytes_.size(); } else pos_ += n;
    }

    bool overrun = false;

private:
    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
};

// ---------------------------------------------------------------------------
// Menu 101
// ---------------------------------------------------------------------------

struct MenuEntry {
    bool separator;
    UINT id;
    const char* text;  // UTF-8
    bool grayed;
};

constexpr MenuEntry kSeparator{true, 0, "", false};

void destroyMenu(HMENU menu) noexcept { DestroyMenu(menu); }
using MenuPtr = zelio::win32::unique_any<HMENU, destroyMenu>;
void destroyIcon(HICON icon) noexcept { DestroyIcon(icon); }
using IconPtr = zelio::win32::unique_any<HICON, destroyIcon>;

MenuPtr loadMainMenu() { return MenuPtr(LoadMenuW(self(), MAKEINTRESOURCEW(IDR_MAINMENU))); }

std::wstring menuText(HMENU menu, UINT item, UINT flag) {
    wchar_t buf[128] = {};
    const int n = GetMenuStringW(menu, item, buf, 128, flag);
    return std::wstring(buf, n > 0 ? size_t(n) : 0);
}

void expectPopup(HMENU bar, int position, const char* title, const std::vector<MenuEntry>& items) {
    SCOPED_TRACE(title);
    EXPECT_EQ(menuText(bar, UINT(position), MF_BYPOSITION), utf16(title));
    HMENU popup = GetSubMenu(bar, position);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(GetMenuItemCount(popup), int(items.size()));

    for (size_t i = 0; i < items.size(); ++i) {
        const MenuEntry& e = items[i];
        SCOPED_TRACE(testing::Message() << "position " << i);
        const UINT state = GetMenuState(popup, UINT(i), MF_BYPOSITION);
        ASSERT_NE(state, UINT(-1));
        if (e.separator) {
            EXPECT_TRUE(state & MF_SEPARATOR);
            continue;
        }
        EXPECT_FALSE(state & MF_SEPARATOR);
        EXPECT_FALSE(state & MF_POPUP);
        EXPECT_EQ(GetMenuItemID(popup, int(i)), e.id);
        // The command ID reaches the same item, with the exact text.
        EXPECT_EQ(menuText(popup, e.id, MF_BYCOMMAND), utf16(e.text)) << "command " << e.id;
        const UINT byCommand = GetMenuState(popup, e.id, MF_BYCOMMAND);
        EXPECT_EQ(bool(byCommand & MF_GRAYED), e.grayed) << "command " << e.id;
        if (!e.grayed) {
            EXPECT_FALSE(byCommand & MF_DISABLED) << "command " << e.id;
        }
        EXPECT_FALSE(byCommand & MF_CHECKED) << "command " << e.id;
    }
}

TEST(MainMenuResource, TopLevelHasFileDataUsb) {
    MenuPtr menu = loadMainMenu();
    ASSERT_TRUE(menu) << "menu " << IDR_MAINMENU << " missing";
    ASSERT_EQ(GetMenuItemCount(menu.get()), 3);
    const char* titles[] = {"&File", "Data", "USB"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(menuText(menu.get(), UINT(i), MF_BYPOSITION), utf16(titles[i]));
        EXPECT_TRUE(GetMenuState(menu.get(), UINT(i), MF_BYPOSITION) & MF_POPUP);
        // Top-level entries are never grayed; only the commands below them.
        EXPECT_FALSE(GetMenuState(menu.get(), UINT(i), MF_BYPOSITION) & MF_GRAYED);
    }
}

TEST(MainMenuResource, ItemsIdsTextsAndInitialStates) {
    MenuPtr menu = loadMainMenu();
    ASSERT_TRUE(menu);

    expectPopup(menu.get(), 0, "&File",
                {
                    {false, IDM_FILE_NEW, "&New", false},
                    {false, IDM_FILE_OPEN, "&Open", false},
                    {false, IDM_FILE_SAVE, "&Save", false},
                    {false, IDM_FILE_SAVEAS, "Save &As", false},
                    kSeparator,
                    {false, IDM_FILE_EXIT, "&Exit", false},
                });
    expectPopup(menu.get(), 1, "Data",
                {
                    {false, IDM_DATA_WRITE, "&Write(PC->USB)", true},
                    {false, IDM_DATA_READ, "&Read(USB->PC)", true},
                });

    std::vector<std::string> idTexts;
    std::vector<MenuEntry> usb = {
        {false, IDM_USB_SEARCH, "Search...", false},
        {false, IDM_USB_RESET, "&Reset", true},
        kSeparator,
    };
    idTexts.reserve(9);
    for (int k = 0; k < 9; ++k) {
        idTexts.push_back("ID Change (26" + std::to_string(k + 1) + "->260)");
        usb.push_back({false, UINT(40011 + k), idTexts.back().c_str(), false});
    }
    expectPopup(menu.get(), 2, "USB", usb);
}

TEST(MainMenuResource, IdChangeCommandRangeMatchesHeader) {
    // The ID Change handler maps the command ID to 0x261 + (id - first).
    EXPECT_EQ(IDM_USB_IDCHANGE_FIRST, 40011);
    EXPECT_EQ(IDM_USB_IDCHANGE_LAST, 40019);
    MenuPtr menu = loadMainMenu();
    ASSERT_TRUE(menu);
    for (UINT id = IDM_USB_IDCHANGE_FIRST; id <= IDM_USB_IDCHANGE_LAST; ++id) {
        const std::wstring expected =
            utf16("ID Change (26" + std::to_string(id - IDM_USB_IDCHANGE_FIRST + 1) + "->260)");
        EXPECT_EQ(menuText(menu.get(), id, MF_BYCOMMAND), expected);
    }
}

// ---------------------------------------------------------------------------
// Dialog 121
// ---------------------------------------------------------------------------

struct DialogItem {
    int id = 0;
    std::wstring cls;  // lower case; predefined ordinals mapped to their names
    std::wstring text;
    bool textIsOrdinal = false;
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    uint16_t extraBytes = 0;
};

struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    Reader::SzOrOrd menu;
    Reader::SzOrOrd cls;
    std::wstring caption;
    int pointSize = 0;
    std::wstring face;
    std::vector<DialogItem> items;
    bool overrun = false;
};

std::wstring className(const Reader::SzOrOrd& c) {
    if (!c.isOrdinal) return lower(c.text);
    switch (c.ordinal) {
        case 0x0080: return L"button";
        case 0x0081: return L"edit";
        case 0x0082: return L"static";
        case 0x0083: return L"listbox";
        case 0x0084: return L"scrollbar";
        case 0x0085: return L"combobox";
        default: return L"#" + std::to_wstring(c.ordinal);
    }
}

// Parses either template form (DLGTEMPLATE or DLGTEMPLATEEX).
DialogTemplate parseDialog(const std::vector<uint8_t>& bytes) {
    DialogTemplate d;
    Reader r(bytes);
    const uint16_t w0 = r.u16();
    const uint16_t w1 = r.u16();
    d.extended = (w0 == 1 && w1 == 0xFFFF);
    uint16_t count = 0;
    if (d.extended) {
        r.u32();  // help ID
        d.exStyle = r.u32();
        d.style = r.u32();
    } else {
        d.style = DWORD(w0) | (DWORD(w1) << 16);
        d.exStyle = r.u32();
    }
    count = r.u16();
    d.x = r.s16();
    d.y = r.s16();
    d.cx = r.s16();
    d.cy = r.s16();
    d.menu = r.szOrOrd();
    d.cls = r.szOrOrd();
    d.caption = r.sz();
    if (d.style & (DS_SETFONT | DS_SHELLFONT)) {
        d.pointSize = r.u16();
        if (d.extended) {
            r.u16();  // weight
            r.u8();   // italic
            r.u8();   // character set
        }
        d.face = r.sz();
    }
    for (uint16_t i = 0; i < count && !r.overrun; ++i) {
        r.alignDword();
        DialogItem it;
        if (d.extended) {
            r.u32();  // help ID
            it.exStyle = r.u32();
            it.style = r.u32();
        } else {
            it.style = r.u32();
            it.exStyle = r.u32();
        }
        it.x = r.s16();
        it.y = r.s16();
        it.cx = r.s16();
        it.cy = r.s16();
        it.id = d.extended ? int(int32_t(r.u32())) : int(r.s16());
        it.cls = className(r.szOrOrd());
        const Reader::SzOrOrd text = r.szOrOrd();
        it.textIsOrdinal = text.isOrdinal;
        it.text = text.text;
        it.extraBytes = r.u16();
        r.skip(it.extraBytes);
        d.items.push_back(it);
    }
    d.overrun = r.overrun;
    return d;
}

DialogTemplate loadOutputTestDialog() {
    return parseDialog(resourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_OUTPUTTEST)));
}

TEST(OutputTestDialogResource, FrameCaptionAndFont) {
    const auto bytes = resourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_OUTPUTTEST));
    ASSERT_FALSE(bytes.empty()) << "dialog " << IDD_OUTPUTTEST << " missing";
    const DialogTemplate d = parseDialog(bytes);
    ASSERT_FALSE(d.overrun) << "template is truncated";

    EXPECT_EQ(d.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT))
        << std::hex << "style 0x" << d.style;
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 122);
    EXPECT_EQ(d.cy, 90);
    // No menu, the standard dialog class.
    EXPECT_FALSE(d.menu.isOrdinal);
    EXPECT_TRUE(d.menu.text.empty());
    EXPECT_FALSE(d.cls.isOrdinal);
    EXPECT_TRUE(d.cls.text.empty());
    EXPECT_EQ(d.caption, L"Output Test");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.face, utf16("굴림"));
    // The face name's code units themselves (U+AD74 U+B9BC), so that a
    // script read in the wrong code page cannot pass by matching a test
    // built with the same mistake.
    ASSERT_EQ(d.face.size(), 2u);
    EXPECT_EQ(unsigned(d.face[0]), 0xAD74u);
    EXPECT_EQ(unsigned(d.face[1]), 0xB9BCu);
}

TEST(OutputTestDialogResource, ControlsInTemplateOrder) {
    const DialogTemplate d = loadOutputTestDialog();
    ASSERT_FALSE(d.overrun);
    ASSERT_EQ(d.items.size(), 8u);

    const DWORD radio = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;
    const DWORD edit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL;
    const DWORD label = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
    struct Expected {
        int id;
        const wchar_t* cls;
        const char* text;  // UTF-8
        int x, y, cx, cy;
        DWORD style;
    };
    const Expected expected[] = {
        {IDC_HIGH, L"button", "High", 11, 39, 25, 10, radio},
        {IDC_LOW, L"button", "Low", 11, 55, 31, 10, radio},
        {IDC_BLINK, L"button", "Blink", 11, 23, 34, 10, radio},
        {IDC_HIGH_TIME, L"edit", "", 45, 22, 29, 12, edit},
        {IDC_LOW_TIME, L"edit", "", 80, 21, 30, 13, edit},
        {-1, L"static", "High time", 45, 11, 33, 9, label},
        {-1, L"static", "Low time", 83, 11, 32, 9, label},
        {-1, L"static", "> 점멸 시간: 1~15 (단위 0.1초)", 16, 71, 99, 10, label},
    };

    for (size_t i = 0; i < 8; ++i) {
        const DialogItem& it = d.items[i];
        const Expected& e = expected[i];
        SCOPED_TRACE(testing::Message() << "control " << i + 1 << " (id " << e.id << ")");
        EXPECT_EQ(it.id, e.id);
        EXPECT_EQ(it.cls, e.cls);
        EXPECT_FALSE(it.textIsOrdinal);
        EXPECT_EQ(it.text, utf16(e.text));
        EXPECT_EQ(std::tie(it.x, it.y, it.cx, it.cy), std::tie(e.x, e.y, e.cx, e.cy))
            << "rect " << it.x << "," << it.y << " " << it.cx << "x" << it.cy;
        EXPECT_EQ(it.style, e.style) << std::hex << "style 0x" << it.style;
        EXPECT_EQ(it.exStyle, 0u);
        EXPECT_EQ(it.extraBytes, 0u);
    }
}

TEST(OutputTestDialogResource, ControlIdsMatchHeader) {
    // The dialog procedure dispatches on these numbers.
    EXPECT_EQ(IDC_BLINK, 1098);
    EXPECT_EQ(IDC_HIGH, 1099);
    EXPECT_EQ(IDC_LOW, 1100);
    EXPECT_EQ(IDC_HIGH_TIME, 1101);
    EXPECT_EQ(IDC_LOW_TIME, 1102);
    // Exactly one control per id, and no control uses the Enter/Esc ids.
    const DialogTemplate d = loadOutputTestDialog();
    std::multiset<int> ids;
    for (const DialogItem& it : d.items) ids.insert(it.id);
    for (int id : {1098, 1099, 1100, 1101, 1102}) EXPECT_EQ(ids.count(id), 1u) << id;
    EXPECT_EQ(ids.count(IDOK), 0u);
    EXPECT_EQ(ids.count(IDCANCEL), 0u);
}

// ---------------------------------------------------------------------------
// Icon 116
// ---------------------------------------------------------------------------

struct IconImage {
    int width, height, bitCount, colorCount;
    DWORD bytes;
    uint16_t id;
};

std::vector<IconImage> iconGroup(std::vector<uint8_t>* raw = nullptr) {
    const auto bytes = resourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APPICON));
    if (raw) *raw = bytes;
    std::vector<IconImage> images;
    if (bytes.size() < 6) return images;
    Reader r(bytes);
    r.u16();  // reserved
    if (r.u16() != 1) return images;  // resource type: icon
    const uint16_t count = r.u16();
    for (uint16_t i = 0; i < count && !r.overrun; ++i) {
        IconImage im{};
        im.width = r.u8();
        im.height = r.u8();
        im.colorCount = r.u8();
        r.u8();  // reserved
        r.u16();  // planes
        im.bitCount = r.u16();
        im.bytes = r.u32();
        im.id = r.u16();
        if (!r.overrun) images.push_back(im);
    }
    return images;
}

TEST(AppIconResource, GroupListsTheThreeImages) {
    std::vector<uint8_t> raw;
    const auto images = iconGroup(&raw);
    ASSERT_FALSE(raw.empty()) << "icon " << IDI_APPICON << " missing";
    ASSERT_EQ(images.size(), 3u);
    std::set<std::tuple<int, int, int>> found;
    for (const IconImage& im : images) found.insert({im.width, im.height, im.bitCount});
    const std::set<std::tuple<int, int, int>> wanted = {{16, 16, 4}, {32, 32, 4}, {48, 48, 8}};
    EXPECT_EQ(found, wanted);
    for (const IconImage& im : images) {
        // 16 colours are listed as 16, 256 colours as 0.
        EXPECT_EQ(im.colorCount, im.bitCount == 4 ? 16 : 0) << im.width;
    }
}

TEST(AppIconResource, EachImageIsAMaskedDibOfItsSize) {
    for (const IconImage& im : iconGroup()) {
        SCOPED_TRACE(testing::Message() << im.width << "x" << im.height);
        const auto dib = resourceBytes(RT_ICON, MAKEINTRESOURCEW(im.id));
        ASSERT_EQ(dib.size(), im.bytes);
        ASSERT_GE(dib.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER h;
        std::memcpy(&h, dib.data(), sizeof h);
        EXPECT_EQ(h.biSize, sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(h.biWidth, im.width);
        EXPECT_EQ(h.biHeight, 2 * im.height);  // colour bitmap and mask
        EXPECT_EQ(h.biBitCount, im.bitCount);
        EXPECT_EQ(h.biCompression, DWORD(BI_RGB));

        const size_t colours = h.biClrUsed ? h.biClrUsed : (size_t(1) << h.biBitCount);
        const size_t xorStride = ((size_t(im.width) * im.bitCount + 31) / 32) * 4;
        const size_t andStride = ((size_t(im.width) + 31) / 32) * 4;
        const size_t xorOffset = sizeof h + 4 * colours;
        const size_t andOffset = xorOffset + xorStride * im.height;
        ASSERT_EQ(dib.size(), andOffset + andStride * im.height);

        // A picture on a transparent background: the mask has both
        // transparent and opaque pixels, and the opaque ones use several colours.
        size_t transparent = 0;
        std::set<unsigned> used;
        for (int y = 0; y < im.height; ++y) {
            for (int x = 0; x < im.width; ++x) {
                const bool clear =
                    dib[andOffset + y * andStride + x / 8] & (0x80 >> (x % 8));
                if (clear) {
                    ++transparent;
                    continue;
                }
                const uint8_t* row = &dib[xorOffset + y * xorStride];
                used.insert(im.bitCount == 8 ? row[x] : (x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4));
            }
        }
        EXPECT_GT(transparent, 0u);
        EXPECT_LT(transparent, size_t(im.width * im.height) / 2);
        EXPECT_GE(used.size(), 6u);
    }
}

TEST(AppIconResource, LoadsAtEachSize) {
    for (int size : {16, 32, 48}) {
        HICON icon = static_cast<HICON>(
            LoadImageW(self(), MAKEINTRESOURCEW(IDI_APPICON), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        IconPtr owned(icon);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
        const zelio::win32::unique_hbitmap color(info.hbmColor), mask(info.hbmMask);
        BITMAP bm{};
        GetObjectW(info.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, size);
    }
}

// ---------------------------------------------------------------------------
// Bitmap 106
// ---------------------------------------------------------------------------

TEST(BannerBitmapResource, Is377By42With24BitsPerPixel) {
    const auto bytes = resourceBytes(RT_BITMAP, MAKEINTRESOURCEW(IDB_BANNER));
    ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER)) << "bitmap " << IDB_BANNER << " missing";
    BITMAPINFOHEADER h;
    std::memcpy(&h, bytes.data(), sizeof h);
    EXPECT_EQ(h.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(h.biWidth, 377);
    EXPECT_EQ(std::abs(h.biHeight), 42);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, DWORD(BI_RGB));
    const size_t stride = ((377 * 24 + 31) / 32) * 4;
    EXPECT_GE(bytes.size(), h.biSize + stride * 42);

    const zelio::win32::unique_hbitmap bitmap(LoadBitmapW(self(), MAKEINTRESOURCEW(IDB_BANNER)));
    ASSERT_TRUE(bitmap);
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(bitmap.get(), sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 377);
    EXPECT_EQ(bm.bmHeight, 42);
}

TEST(BannerBitmapResource, ShowsDarkRedTitleOnLightBackground) {
    const auto bytes = resourceBytes(RT_BITMAP, MAKEINTRESOURCEW(IDB_BANNER));
    ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER h;
    std::memcpy(&h, bytes.data(), sizeof h);
    ASSERT_EQ(h.biBitCount, 24);
    const size_t stride = ((size_t(h.biWidth) * 24 + 31) / 32) * 4;
    const size_t rows = size_t(std::abs(h.biHeight));
    ASSERT_GE(bytes.size(), h.biSize + stride * rows);
    const uint8_t* pixels = bytes.data() + h.biSize;

    size_t darkRed = 0, light = 0;
    for (size_t y = 0; y < rows; ++y) {
        for (size_t x = 0; x < size_t(h.biWidth); ++x) {
            const uint8_t* p = pixels + y * stride + 3 * x;  // B, G, R
            const int b = p[0], g = p[1], r = p[2];
            if (r >= 0x60 && r <= 0xC0 && g < 0x50 && b < 0x50) ++darkRed;
            if (r > 0xF0 && g > 0xF0 && b > 0xF0) ++light;
        }
    }
    const size_t total = rows * size_t(h.biWidth);
    EXPECT_GT(darkRed, total / 50) << "no visible dark red title";
    EXPECT_GT(light, total / 2) << "background is not light";
}

// ---------------------------------------------------------------------------
// Manifest
// ---------------------------------------------------------------------------

TEST(ManifestResource, RunsAsInvokerWithCommonControls6) {
    const auto bytes = resourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(bytes.empty()) << "manifest 1 missing";
    const std::string xml(bytes.begin(), bytes.end());
    EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(xml.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
    EXPECT_NE(xml.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(xml.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
}

}  // namespace
