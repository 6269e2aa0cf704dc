// What only the Win32 window can get wrong: that what its controls show is
// what it writes and saves, however the controls got that way (a check box
// set with BM_SETCHECK sends no notification), that its commands put every
// control in the state they show, and the file dialogs' fields. What the
// commands decide is the configurator's suite (tests/unit).
#include "ui_fixture.h"

#include <dbt.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zelio::ui::test {
namespace {

std::wstring filterList(const wchar_t* filter) {
    std::wstring out;
    if (!filter) return out;
    for (const wchar_t* p = filter; !(p[0] == L'\0' && p[1] == L'\0'); ++p) out.push_back(*p);
    return out;
}

class WindowTest : public MainWindowTest {
protected:
    void command(int id) {
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        pumpMessages();
    }
    HWND high(int row) const { return app->controls().highBoxes[static_cast<size_t>(row)]; }
    std::string fileBytes(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    std::vector<std::string> boxes;
    MessageBoxSeam boxSeam = [this](HWND, const std::string& text, const std::string&, UINT) {
        boxes.push_back(text);
        return IDOK;
    };
    std::filesystem::path file = std::filesystem::temp_directory_path() / "zelio-window-test.kbd";
    FileDialogSeam dialogSeam = [this](const FileDialogRequest&) { return std::optional<std::wstring>(file.wstring()); };
};

TEST_F(WindowTest, HighBoxesSetWithoutNotificationAreWrittenAndSaved) {
    ASSERT_TRUE(start(Attached::Zel280));
    app->setSeams(&dialogSeam, &boxSeam);
    selectProductEntry(11);  // 283
    // As a GUI test tool checks a box: BM_SETCHECK, no notification.
    ::SendMessageW(high(0), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(high(1), BM_SETCHECK, BST_CHECKED, 0);
    clickModeButton(1);  // channel 2 open-drain
    clickModeButton(7);
    clickModeButton(7);  // channel 8 input
    command(IDM_DATA_WRITE);
    ASSERT_FALSE(zel280->received.empty());
    EXPECT_EQ(zel280->received.back(), (std::vector<uint8_t>{0x55, 0xAA, 0x43, 0x01, 0x03, 0x40, 0xC0, 0x01}));

    command(IDM_FILE_SAVE);  // asks for the name
    EXPECT_EQ(fileBytes(file), "0283 40 C0 01\r\n");
    command(IDM_FILE_SAVE);  // writes again without asking
    EXPECT_EQ(fileBytes(file), "0283 40 C0 01\r\n");
    EXPECT_TRUE(boxes.empty());
    std::filesystem::remove(file);
}

TEST_F(WindowTest, NewAndOpenPutEveryControlInTheStateTheyShow) {
    ASSERT_TRUE(start(Attached::None));
    app->setSeams(&dialogSeam, &boxSeam);
    ::SendMessageW(high(3), BM_SETCHECK, BST_CHECKED, 0);
    command(IDM_FILE_NEW);
    EXPECT_EQ(::SendMessageW(high(3), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    { std::ofstream(file, std::ios::binary) << "0263 40 C0 01\r\n"; }
    command(IDM_FILE_OPEN);
    EXPECT_EQ(comboEntry(app->controls().productList, static_cast<int>(::SendMessageW(app->controls().productList, CB_GETCURSEL, 0, 0))), "263");
    EXPECT_EQ(::SendMessageW(high(0), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(high(1), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(textOf(app->controls().modeButtons[1]), "open-drain Output");
    EXPECT_EQ(textOf(app->controls().modeButtons[7]), "Input");
    EXPECT_FALSE(::IsWindowEnabled(high(7)));
    EXPECT_FALSE(::IsWindowEnabled(app->controls().testButtons[7]));
    std::filesystem::remove(file);
}

TEST_F(WindowTest, DeviceChangesSetMenusTestButtonsAndStatusBar) {
    ASSERT_TRUE(start(Attached::Zel260));
    EXPECT_TRUE(menuEnabled(window, IDM_DATA_WRITE));
    EXPECT_TRUE(menuGrayed(window, IDM_USB_IDCHANGE_FIRST));
    host->unplug(*zel260);
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);  // not the event that counts
    EXPECT_TRUE(menuEnabled(window, IDM_DATA_READ));
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    pumpMessages();
    EXPECT_TRUE(menuGrayed(window, IDM_DATA_WRITE) && menuGrayed(window, IDM_DATA_READ) && menuGrayed(window, IDM_USB_RESET));
    EXPECT_TRUE(menuEnabled(window, IDM_USB_IDCHANGE_LAST));
    for (HWND test : app->controls().testButtons) EXPECT_FALSE(::IsWindowEnabled(test));
    EXPECT_EQ(statusPane(app->statusBar(), 0), " Removed USB Output Module");
    EXPECT_EQ(textOf(app->logControl()), "\r\n > USB 출력 모듈이 제거되었습니다.\r\n");
}

TEST(FileDialogFields, OpenSaveAndSaveAsSettings) {
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    FileDialogBuffers buffers = makeFileDialogBuffers(L"C:\\설정\\a.kbd", L"a.kbd");

    const OPENFILENAMEW open = fileDialogFields(FileDialogKind::Open, owner, buffers);
    EXPECT_EQ(open.hwndOwner, owner);
    EXPECT_EQ(filterList(open.lpstrFilter), std::wstring(L"USB I/O Data (*.zel)\0*.kbd;*.zel\0All Files (*.*)\0*.*", 52));
    EXPECT_EQ(open.nFilterIndex, 1u);
    EXPECT_EQ(open.nMaxFile, 260u);
    EXPECT_EQ(open.nMaxFileTitle, 260u);
    EXPECT_EQ(open.Flags, static_cast<DWORD>(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
    EXPECT_EQ(std::wstring(open.lpstrDefExt), L"kbd");
    EXPECT_EQ(std::wstring(open.lpstrFile), L"C:\\설정\\a.kbd");

    const OPENFILENAMEW save = fileDialogFields(FileDialogKind::Save, owner, buffers);
    EXPECT_EQ(filterList(save.lpstrFilter), std::wstring(L"USB I/O Data (*.ZEL)\0*.kbd;*.zel\0All Files (*.*)\0*.*", 52));
    EXPECT_EQ(save.Flags, static_cast<DWORD>(OFN_PATHMUSTEXIST));
    const OPENFILENAMEW saveAs = fileDialogFields(FileDialogKind::SaveAs, owner, buffers);
    EXPECT_EQ(filterList(saveAs.lpstrFilter), filterList(open.lpstrFilter));
    EXPECT_EQ(std::wstring(makeFileDialogBuffers(std::wstring(300, L'p'), L"t").file.data()), std::wstring(259, L'p'));
}

}  // namespace
}  // namespace zelio::ui::test
