// File menu commands on a real main window: New, Open, Save and Save As,
// with the file dialogs and message boxes replaced through the App's seams
// and real files in a temporary folder with a Korean name. Modules come from
// the emulated host; nothing waits on the real clock. Two tests also run the
// platform's own open and save dialogs, driven by a timer.

#include "ui/file_commands.h"

#include <gtest/gtest.h>

#include <commdlg.h>
#include <dlgs.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "resource.h"
#include "ui/window_parts.h"
#include "ui/channel_panel.h"
#include "ui/main_window.h"
#include "ui_fixture.h"

namespace zelio::ui {
namespace {

namespace fs = std::filesystem;
using test::Attached;
using test::Pixels;

constexpr char kNoProductWarning[] = " USB 장치번호 Product ID를 선택하세요.     ";
constexpr char kBoxTitle[] = "USB Output Module";
constexpr char kCannotSave[] = "파일을 저장할 수 없습니다.";
constexpr char kPinRow9[] = "Pin No. 10 [ RESERVED ]";

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A double-zero-terminated filter list as one string (inner zeros kept).
std::wstring filterList(const wchar_t* filter) {
    std::wstring out;
    if (!filter) return out;
    for (const wchar_t* p = filter; !(p[0] == L'\0' && p[1] == L'\0'); ++p) out.push_back(*p);
    return out;
}

// Drives a platform file dialog from inside its own modal loop: a thread
// timer looks for the dialog window of this thread and hands it to `act`
// once; `act` closes it. Should a dialog (or a box it opened) still be there
// several seconds later, every dialog window of the thread is cancelled, so
// a failing test ends instead of waiting for a person.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(HWND dialog)> act) : act_(std::move(act)) {
        current_ = this;
        timer_ = ::SetTimer(nullptr, 0, kTickMs, &DialogDriver::onTimer);
    }
    ~DialogDriver() {
        if (timer_) ::KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    bool ran() const { return ran_; }
    bool forcedClose() const { return forced_; }

private:
    static constexpr UINT kTickMs = 50;
    static constexpr int kGraceTicks = 200;  // 10 s after `act`

    static BOOL CALLBACK collectDialogs(HWND candidate, LPARAM out) {
        wchar_t name[16] = {};
        ::GetClassNameW(candidate, name, 16);
        if (std::wstring(name) == L"#32770" && ::IsWindowVisible(candidate))
            reinterpret_cast<std::vector<HWND>*>(out)->push_back(candidate);
        return TRUE;
    }
    static std::vector<HWND> dialogs() {
        std::vector<HWND> found;
        ::EnumThreadWindows(::GetCurrentThreadId(), &DialogDriver::collectDialogs, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD) {
        DialogDriver* self = current_;
        if (!self) return;
        const std::vector<HWND> open = dialogs();
        if (!self->ran_) {
            if (open.empty()) return;
            self->ran_ = true;
            self->act_(open.front());
            return;
        }
        if (open.empty() || ++self->ticksAfter_ < kGraceTicks) return;
        self->forced_ = true;
        for (HWND dialog : open) ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }

    static inline DialogDriver* current_ = nullptr;
    std::function<void(HWND)> act_;
    UINT_PTR timer_ = 0;
    bool ran_ = false;
    bool forced_ = false;
    int ticksAfter_ = 0;
};

// The entries of a dialog's file-type list.
std::vector<std::string> comboEntries(HWND combo) {
    std::vector<std::string> entries;
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) entries.push_back(test::comboEntry(combo, i));
    return entries;
}

// The file name field of a file dialog (a combobox or an edit, by style).
HWND fileNameField(HWND dialog) {
    if (HWND combo = ::GetDlgItem(dialog, cmb13)) return combo;
    return ::GetDlgItem(dialog, edt1);
}

struct ShownBox {
    HWND owner;
    std::string text;
    std::string title;
    UINT type;
};

class FileCommandsTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 (L"zelio 설정 파일 " + std::to_wstring(::GetCurrentProcessId()) + L" " +
                  std::to_wstring(++folderCount));
        fs::remove_all(folder);
        ASSERT_TRUE(fs::create_directories(folder));
    }

    void TearDown() override {
        test::MainWindowTest::TearDown();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // The main window on the given modules, with the dialog and message box
    // stand-ins in place.
    [[nodiscard]] bool startWithSeams(Attached modules) {
        if (!start(modules)) return false;
        app->prompts.fileDialog = &dialogSeam;
        app->prompts.messageBox = &boxSeam;
        return true;
    }

    void command(int id) { ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    // Selects list entry `text` as the user would.
    void selectProduct(const wchar_t* text) {
        const LRESULT index = ::SendMessageW(app->controls.productList, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(text));
        ASSERT_NE(index, CB_ERR);
        ::SendMessageW(app->controls.productList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_PRODUCT_LIST, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(app->controls.productList));
    }
    void clickMode(int row) {
        HWND button = app->controls.modeButtons[static_cast<size_t>(row)];
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_MODE_FIRST + row, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    }
    void setHigh(int row, bool checked) {
        // As the user does: a click on the box when it is not as wanted.
        if (highCheck(row) != (checked ? BST_CHECKED : BST_UNCHECKED))
            ::SendMessageW(app->controls.highBoxes[static_cast<size_t>(row)], BM_CLICK, 0, 0);
    }

    std::string caption(int row) const { return windowTextUtf8(app->controls.modeButtons[static_cast<size_t>(row)]); }
    int highCheck(int row) const {
        return static_cast<int>(::SendMessageW(app->controls.highBoxes[static_cast<size_t>(row)], BM_GETCHECK, 0, 0));
    }
    bool highEnabled(int row) const { return ::IsWindowEnabled(app->controls.highBoxes[static_cast<size_t>(row)]) != FALSE; }
    bool testEnabled(int row) const {
        return ::IsWindowEnabled(app->controls.testButtons[static_cast<size_t>(row)]) != FALSE;
    }

    // The product-ID list's selected entry, or "" when none is selected.
    std::string listSelection() const {
        const LRESULT index = ::SendMessageW(app->controls.productList, CB_GETCURSEL, 0, 0);
        return index == CB_ERR ? std::string() : test::comboEntry(app->controls.productList, static_cast<int>(index));
    }

    // Whether part of the main window waits to be painted again.
    bool repaintPending() const { return ::GetUpdateRect(window, nullptr, FALSE) != FALSE; }

    // Sets the panel to product 0x283, row 1 open-drain, rows 0 and 1 high,
    // row 7 input, through the controls.
    void enterExampleConfiguration() {
        selectProduct(L"283");
        clickMode(1);  // push/pull -> open-drain
        clickMode(7);  // push/pull -> open-drain
        clickMode(7);  // open-drain -> Input
        setHigh(0, true);
        setHigh(1, true);
        ASSERT_EQ(app->panel.selectedProductId(), 0x283u);
        ASSERT_EQ(caption(1), "open-drain Output");
        ASSERT_EQ(caption(7), "Input");
    }

    void expectExampleConfigurationShown() {
        EXPECT_EQ(app->panel.selectedProductId(), 0x283u);
        EXPECT_EQ(listSelection(), "283");
        for (int r = 0; r < kChannelCount; ++r) {
            SCOPED_TRACE(r);
            const char* expected = r == 1 ? "open-drain Output" : r == 7 ? "Input" : "push/pull Output";
            EXPECT_EQ(caption(r), expected);
            EXPECT_EQ(highCheck(r), r <= 1 ? 1 : 0);
            EXPECT_EQ(highEnabled(r), r != 7);
            EXPECT_EQ(testEnabled(r), r != 7);
        }
    }

    void expectEmptyConfigurationShown() {
        EXPECT_EQ(app->panel.selectedProductId(), 0u);
        EXPECT_EQ(listSelection(), "");
        for (int r = 0; r < kChannelCount; ++r) {
            SCOPED_TRACE(r);
            EXPECT_EQ(caption(r), "push/pull Output");
            EXPECT_EQ(highCheck(r), 0);
            EXPECT_TRUE(highEnabled(r));
            EXPECT_TRUE(testEnabled(r));
        }
    }

    // The next file dialog answers `path` (nullopt: cancelled).
    void answerDialog(std::optional<std::wstring> path) { dialogAnswers.push_back(std::move(path)); }

    // ---- pixels on the window ----

    int cellWidth() const { return test::textExtent(app->fonts.panel.get(), L"0").cx; }
    int cellHeight() const { return test::textExtent(app->fonts.panel.get(), L"0").cy; }

    // Pixels in which the window at (x, y) differs from `text` drawn alone on
    // white, over `width` pixels.
    int differsFromText(int x, int y, const std::string& text, int width) {
        const Pixels shot = capture();
        const Pixels expected = test::renderText(app->fonts.panel.get(), win32::widen(text), width, cellHeight());
        return shot.diff(x, y, expected, 0, 0, width, cellHeight());
    }

    // Connector row 9 (y = 325): the pin table writes text there, the
    // wire-colour table 40 blanks.
    int row9Ink() { return capture().countNonWhite(20, 325, 20 + 40 * cellWidth(), 325 + cellHeight()); }
    int row9DiffersFromPins() { return differsFromText(20, 325, kPinRow9, 40 * cellWidth()); }

    // Mode label of row r at (83, 125 + 25r), compared from x = `from` up to
    // the end of the area that the refresh clears first (x = 140).
    int labelDiffersFrom(int r, const std::string& label, int from = 83) {
        const int y = 125 + 25 * r;
        const Pixels shot = capture();
        const Pixels expected = test::renderText(app->fonts.panel.get(), win32::widen(label), 140 - 83, cellHeight());
        return shot.diff(from, y, expected, from - 83, 0, 140 - from, cellHeight());
    }
    static std::string outputLabel(int r) { return "[ OUT " + std::to_string(r + 1) + " ]"; }
    static std::string inputLabel(int r) { return "[ IN bit" + std::to_string(7 - r) + " ]"; }

    std::vector<FileDialogRequest> dialogRequests;
    std::deque<std::optional<std::wstring>> dialogAnswers;
    FileDialogSeam dialogSeam = [this](const FileDialogRequest& request) -> std::optional<std::wstring> {
        dialogRequests.push_back(request);
        if (dialogAnswers.empty()) return std::nullopt;
        std::optional<std::wstring> answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        return answer;
    };
    std::vector<ShownBox> boxes;
    MessageBoxSeam boxSeam = [this](HWND owner, const std::string& text, const std::string& title, UINT type) {
        boxes.push_back({owner, text, title, type});
        return IDOK;
    };

    fs::path folder;
    static inline int folderCount = 0;
};

// ---- Save, Open and their round trip -----------------------------------------

TEST_F(FileCommandsTest, SaveAsWritesTheLineAndOpenRestoresIt) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    enterExampleConfiguration();
    const fs::path file = folder / L"모듈 설정.zel";

    answerDialog(file.wstring());
    command(IDM_FILE_SAVEAS);
    ASSERT_EQ(dialogRequests.size(), 1u);
    EXPECT_EQ(dialogRequests[0].kind, FileDialogKind::SaveAs);
    EXPECT_EQ(dialogRequests[0].owner, window);
    EXPECT_EQ(readBytes(file), std::string("0283 40 C0 01\r\n"));
    EXPECT_EQ(app->file.path, file.wstring());
    EXPECT_EQ(app->file.title, L"모듈 설정.zel");
    EXPECT_TRUE(boxes.empty());

    // Clear the panel, then read the file back.
    command(IDM_FILE_NEW);
    expectEmptyConfigurationShown();
    answerDialog(file.wstring());
    command(IDM_FILE_OPEN);
    ASSERT_EQ(dialogRequests.size(), 2u);
    EXPECT_EQ(dialogRequests[1].kind, FileDialogKind::Open);
    EXPECT_EQ(dialogRequests[1].initialPath, file.wstring());
    expectExampleConfigurationShown();
    EXPECT_EQ(app->file.title, L"모듈 설정.zel");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FileCommandsTest, SaveAfterOpenWritesWithoutDialogAndSaveAfterNewAsksAgain) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    const fs::path file = folder / L"열기.zel";
    writeBytes(file, "0283 40 C0 01\r\n");

    answerDialog(file.wstring());
    command(IDM_FILE_OPEN);
    ASSERT_EQ(dialogRequests.size(), 1u);
    expectExampleConfigurationShown();

    // Change the panel and save: straight into the opened file.
    setHigh(0, false);
    command(IDM_FILE_SAVE);
    EXPECT_EQ(dialogRequests.size(), 1u);
    EXPECT_EQ(readBytes(file), std::string("0283 40 40 01\r\n"));

    // New forgets the file (not its path): the next Save asks, proposing it.
    command(IDM_FILE_NEW);
    EXPECT_TRUE(app->file.title.empty());
    EXPECT_EQ(app->file.path, file.wstring());
    selectProduct(L"265");
    const fs::path other = folder / L"새 파일.zel";
    answerDialog(other.wstring());
    command(IDM_FILE_SAVE);
    ASSERT_EQ(dialogRequests.size(), 2u);
    EXPECT_EQ(dialogRequests[1].kind, FileDialogKind::Save);
    EXPECT_EQ(dialogRequests[1].initialPath, file.wstring());
    EXPECT_EQ(readBytes(other), std::string("0265 00 00 00\r\n"));
    EXPECT_EQ(readBytes(file), std::string("0283 40 40 01\r\n"));
    EXPECT_EQ(app->file.title, L"새 파일.zel");

    // That Save gave the configuration a file: the next Save needs no dialog.
    clickMode(0);
    command(IDM_FILE_SAVE);
    EXPECT_EQ(dialogRequests.size(), 2u);
    EXPECT_EQ(readBytes(other), std::string("0265 80 00 00\r\n"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FileCommandsTest, SaveAsAlwaysAsksAndReplacesAnExistingFile) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    selectProduct(L"281");
    const fs::path first = folder / L"첫째.zel";
    const fs::path second = folder / L"둘째.zel";
    // A longer file is there already: it is replaced, not overwritten in part.
    writeBytes(second, std::string(100, 'x'));

    answerDialog(first.wstring());
    command(IDM_FILE_SAVEAS);
    answerDialog(second.wstring());
    command(IDM_FILE_SAVEAS);
    ASSERT_EQ(dialogRequests.size(), 2u);
    EXPECT_EQ(dialogRequests[1].kind, FileDialogKind::SaveAs);
    EXPECT_EQ(dialogRequests[1].initialPath, first.wstring());
    EXPECT_EQ(readBytes(first), std::string("0281 00 00 00\r\n"));
    EXPECT_EQ(readBytes(second), std::string("0281 00 00 00\r\n"));
    EXPECT_EQ(app->file.path, second.wstring());

    // Plain Save onto the existing file replaces it as well.
    writeBytes(second, std::string(200, 'y'));
    command(IDM_FILE_SAVE);
    EXPECT_EQ(dialogRequests.size(), 2u);
    EXPECT_EQ(readBytes(second), std::string("0281 00 00 00\r\n"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FileCommandsTest, SaveOntoAReadOnlyFileWarnsAndChangesNothing) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    selectProduct(L"262");
    const fs::path file = folder / L"잠김.zel";
    writeBytes(file, "0283 40 C0 01\r\n");
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));

    answerDialog(file.wstring());
    command(IDM_FILE_SAVEAS);
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(kCannotSave), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(readBytes(file), std::string("0283 40 C0 01\r\n"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(FileCommandsTest, SaveWithoutProductIdWarnsAndWritesNothing) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    const fs::path file = folder / L"없음.zel";
    // Even with a file to save to, nothing is written.
    app->file.path = file.wstring();
    app->file.title = L"없음.zel";

    command(IDM_FILE_SAVE);
    command(IDM_FILE_SAVEAS);
    app->file.title.clear();
    command(IDM_FILE_SAVE);

    ASSERT_EQ(boxes.size(), 3u);
    for (const ShownBox& box : boxes) {
        EXPECT_EQ(box.text, kNoProductWarning);
        EXPECT_EQ(box.title, kBoxTitle);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONWARNING));
        EXPECT_EQ(box.owner, window);
    }
    EXPECT_TRUE(dialogRequests.empty());
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(FileCommandsTest, CancelledDialogsChangeNothing) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    const fs::path file = folder / L"원래.zel";
    writeBytes(file, "0283 40 C0 01\r\n");
    answerDialog(file.wstring());
    command(IDM_FILE_OPEN);
    expectExampleConfigurationShown();
    command(IDM_FILE_NEW);  // title gone, so Save asks
    enterExampleConfiguration();

    const auto before = fs::last_write_time(file);
    for (int id : {IDM_FILE_OPEN, IDM_FILE_SAVE, IDM_FILE_SAVEAS}) {
        SCOPED_TRACE(id);
        answerDialog(std::nullopt);
        command(id);
        EXPECT_EQ(app->file.path, file.wstring());
        EXPECT_TRUE(app->file.title.empty());
        expectExampleConfigurationShown();
    }
    EXPECT_EQ(dialogRequests.size(), 4u);
    EXPECT_EQ(readBytes(file), std::string("0283 40 C0 01\r\n"));
    EXPECT_EQ(fs::last_write_time(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FileCommandsTest, SaveIntoMissingFolderWarns) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    selectProduct(L"262");
    const fs::path missing = folder / L"없는 폴더" / L"설정.zel";

    answerDialog(missing.wstring());
    command(IDM_FILE_SAVEAS);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(kCannotSave), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("설정.zel"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].title, kBoxTitle);
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_FALSE(fs::exists(missing.parent_path()));

    // The panel keeps its configuration; a save that works says nothing.
    EXPECT_EQ(app->panel.selectedProductId(), 0x262u);
    const fs::path good = folder / L"설정.zel";
    answerDialog(good.wstring());
    command(IDM_FILE_SAVEAS);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(readBytes(good), std::string("0262 00 00 00\r\n"));
}

TEST(FileCommandsText, SaveWarningNamesTheFile) {
    EXPECT_EQ(saveFailedWarning(L"C:\\없음\\a.zel"), " 'a.zel' 파일을 저장할 수 없습니다.     ");
    EXPECT_EQ(saveFailedWarning(L""), " 파일을 저장할 수 없습니다.     ");
}

// ---- Open of unusual files -----------------------------------------------------

TEST_F(FileCommandsTest, OpenOfProductIdOnlyClearsTheMasks) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    enterExampleConfiguration();
    const fs::path file = folder / L"아이디.zel";
    writeBytes(file, "0261");

    answerDialog(file.wstring());
    command(IDM_FILE_OPEN);
    EXPECT_EQ(app->panel.selectedProductId(), 0x261u);
    EXPECT_EQ(listSelection(), "261");
    for (int r = 0; r < kChannelCount; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(caption(r), "push/pull Output");
        EXPECT_EQ(highCheck(r), 0);
        EXPECT_TRUE(highEnabled(r));
        EXPECT_TRUE(testEnabled(r));
    }
}

TEST_F(FileCommandsTest, OpenOfEmptyOrMissingFileAppliesNoProduct) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    const fs::path empty = folder / L"빈 파일.zel";
    writeBytes(empty, "");
    const fs::path missing = folder / L"없는 파일.zel";

    for (const fs::path& file : {empty, missing}) {
        SCOPED_TRACE(win32::narrow(file.wstring()));
        enterExampleConfiguration();
        answerDialog(file.wstring());
        command(IDM_FILE_OPEN);
        expectEmptyConfigurationShown();
        EXPECT_EQ(app->file.title, file.filename().wstring());

        // The file is known, but without a product ID Save only warns.
        boxes.clear();
        const size_t asked = dialogRequests.size();
        command(IDM_FILE_SAVE);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, kNoProductWarning);
        EXPECT_EQ(dialogRequests.size(), asked);
    }
    EXPECT_EQ(readBytes(empty), "");
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(FileCommandsTest, OpenLeavesLogAndToggleCountAlone) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    app->log.set("\r\n > message\r\n");
    app->log.show();
    const fs::path file = folder / L"로그.zel";
    writeBytes(file, "0283 40 C0 01\r\n");
    answerDialog(file.wstring());
    command(IDM_FILE_OPEN);
    EXPECT_EQ(app->log.str(), "\r\n > message\r\n");
    EXPECT_EQ(windowTextUtf8(app->log.control()), "\r\n > message\r\n");
    EXPECT_EQ(app->file.labelToggleCount, 0u);
}

// ---- New -------------------------------------------------------------------------

TEST_F(FileCommandsTest, NewClearsPanelLogAndTitle) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    const fs::path file = folder / L"새로.zel";
    writeBytes(file, "0283 40 C0 01\r\n");
    answerDialog(file.wstring());
    command(IDM_FILE_OPEN);
    app->log.set("\r\n > something\r\n");
    app->log.show();

    command(IDM_FILE_NEW);
    expectEmptyConfigurationShown();
    EXPECT_TRUE(app->log.str().empty());
    EXPECT_EQ(windowTextUtf8(app->log.control()), "");
    EXPECT_TRUE(app->file.title.empty());
    EXPECT_EQ(app->file.path, file.wstring());
    EXPECT_EQ(dialogRequests.size(), 1u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FileCommandsTest, NewWithoutModuleAlternatesPinAndWireColourTables) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    ASSERT_EQ(app->commands.attachedModuleId(), 0);

    // Start from a blank row 9, so the first New must draw the pins itself.
    app->labels().drawConnectorLabels(LabelTable::WireColour);
    ASSERT_EQ(row9Ink(), 0);

    command(IDM_FILE_NEW);
    EXPECT_EQ(app->file.labelToggleCount, 1u);
    EXPECT_GT(row9Ink(), 0);
    EXPECT_EQ(row9DiffersFromPins(), 0);

    command(IDM_FILE_NEW);
    EXPECT_EQ(app->file.labelToggleCount, 2u);
    EXPECT_EQ(row9Ink(), 0);

    command(IDM_FILE_NEW);
    EXPECT_EQ(app->file.labelToggleCount, 3u);
    EXPECT_EQ(row9DiffersFromPins(), 0);
    // New draws at once and leaves nothing to repaint.
    EXPECT_FALSE(repaintPending());
}

TEST_F(FileCommandsTest, NewWithZel260DrawsWireColoursEveryTime) {
    ASSERT_TRUE(startWithSeams(Attached::Zel260));
    ASSERT_EQ(app->commands.attachedModuleId(), 0x260);

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        app->labels().drawConnectorLabels(LabelTable::Pin);
        ASSERT_GT(row9Ink(), 0);
        command(IDM_FILE_NEW);
        EXPECT_EQ(row9Ink(), 0);
    }
    EXPECT_EQ(app->file.labelToggleCount, 0u);
}

TEST_F(FileCommandsTest, NewWithZel280DrawsPinsEveryTime) {
    ASSERT_TRUE(startWithSeams(Attached::Zel280));
    ASSERT_EQ(app->commands.attachedModuleId(), 0x280);

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        app->labels().drawConnectorLabels(LabelTable::WireColour);
        ASSERT_EQ(row9Ink(), 0);
        command(IDM_FILE_NEW);
        EXPECT_EQ(row9DiffersFromPins(), 0);
    }
    EXPECT_EQ(app->file.labelToggleCount, 0u);
}

TEST_F(FileCommandsTest, NewShowsOutputLabelOnEveryRow) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    // Every row an input, and its input label on screen.
    app->panel.apply(ChannelConfig{0x283, 0, 0, 0xFF});
    app->labels().refreshModeLabels(app->panel.rows());
    for (int r = 0; r < kChannelCount; ++r) {
        SCOPED_TRACE(r);
        ASSERT_EQ(labelDiffersFrom(r, inputLabel(r)), 0);
        ASSERT_GT(labelDiffersFrom(r, outputLabel(r)), 0);
    }

    command(IDM_FILE_NEW);
    // New draws the connector column after the labels: the last blank of each
    // 11-character connector text covers the labels' first columns.
    const int connectorEnd = 20 + 11 * cellWidth();
    ASSERT_GT(connectorEnd, 83);
    ASSERT_LT(connectorEnd, 140 - 2 * cellWidth());
    for (int r = 0; r < kChannelCount; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(caption(r), "push/pull Output");
        EXPECT_EQ(labelDiffersFrom(r, outputLabel(r), connectorEnd), 0);
        EXPECT_GT(labelDiffersFrom(r, inputLabel(r), connectorEnd), 0);
        EXPECT_EQ(capture().countNonWhite(80, 125 + 25 * r, connectorEnd, 125 + 25 * r + cellHeight()), 0);
    }
}

// ---- Open draws the label column of the loaded family; dialogs repaint ----------------

TEST_F(FileCommandsTest, OpenDrawsLabelsForTheLoadedFamily) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    const fs::path zel260 = folder / L"이육공.zel";
    const fs::path zel280 = folder / L"이팔공.zel";
    const fs::path other = folder / L"기타.zel";
    writeBytes(zel260, "0265 00 00 00\r\n");
    writeBytes(zel280, "0287 00 00 00\r\n");
    writeBytes(other, "0300 00 00 00\r\n");

    app->labels().drawConnectorLabels(LabelTable::Pin);
    answerDialog(zel260.wstring());
    command(IDM_FILE_OPEN);
    EXPECT_EQ(row9Ink(), 0);

    answerDialog(zel280.wstring());
    command(IDM_FILE_OPEN);
    EXPECT_EQ(row9DiffersFromPins(), 0);

    // Another family draws nothing: whatever stood there stays.
    answerDialog(other.wstring());
    command(IDM_FILE_OPEN);
    EXPECT_EQ(app->panel.selectedProductId(), 0x300u);
    EXPECT_EQ(row9DiffersFromPins(), 0);
    app->labels().drawConnectorLabels(LabelTable::WireColour);
    answerDialog(other.wstring());
    command(IDM_FILE_OPEN);
    EXPECT_EQ(row9Ink(), 0);
}

TEST_F(FileCommandsTest, ChosenFileRepaintsTheWindowAndPlainSaveDoesNot) {
    ASSERT_TRUE(startWithSeams(Attached::None));
    const fs::path file = folder / L"그림.zel";
    writeBytes(file, "0283 40 C0 01\r\n");
    ASSERT_FALSE(repaintPending());

    answerDialog(std::nullopt);
    command(IDM_FILE_OPEN);
    EXPECT_FALSE(repaintPending());

    answerDialog(file.wstring());
    command(IDM_FILE_OPEN);
    EXPECT_TRUE(repaintPending());
    pump();
    ASSERT_FALSE(repaintPending());

    command(IDM_FILE_SAVE);  // the file is known: no dialog, no repaint
    EXPECT_FALSE(repaintPending());

    answerDialog(file.wstring());
    command(IDM_FILE_SAVEAS);
    EXPECT_TRUE(repaintPending());
    pump();

    command(IDM_FILE_NEW);
    selectProduct(L"283");
    answerDialog(std::nullopt);
    command(IDM_FILE_SAVE);
    EXPECT_FALSE(repaintPending());
    answerDialog(file.wstring());
    command(IDM_FILE_SAVE);
    EXPECT_TRUE(repaintPending());
    EXPECT_EQ(dialogRequests.size(), 5u);
}

// ---- the platform's own dialogs --------------------------------------------------------

TEST_F(FileCommandsTest, PlatformOpenDialogShowsTheFiltersAndProposesTheCurrentPath) {
    ASSERT_TRUE(start(Attached::None));
    app->prompts.messageBox = &boxSeam;  // no file dialog stand-in: the real one runs
    const fs::path file = folder / L"제안.zel";
    writeBytes(file, "0283 40 C0 01\r\n");
    app->file.path = file.wstring();

    std::vector<std::string> types;
    LRESULT selectedType = -1;
    std::string proposed;
    bool readOnlyShown = true;
    DialogDriver driver([&](HWND dialog) {
        HWND typeList = ::GetDlgItem(dialog, cmb1);
        types = comboEntries(typeList);
        selectedType = ::SendMessageW(typeList, CB_GETCURSEL, 0, 0);
        proposed = windowTextUtf8(fileNameField(dialog));
        HWND readOnly = ::GetDlgItem(dialog, chx1);
        readOnlyShown = readOnly && ::IsWindowVisible(readOnly);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    command(IDM_FILE_OPEN);

    ASSERT_TRUE(driver.ran());
    EXPECT_FALSE(driver.forcedClose());
    EXPECT_EQ(types, (std::vector<std::string>{"USB I/O Data (*.zel)", "All Files (*.*)"}));
    EXPECT_EQ(selectedType, 0);
    EXPECT_NE(proposed.find("제안"), std::string::npos) << proposed;
    EXPECT_FALSE(readOnlyShown);
    // Cancelled: nothing changed.
    EXPECT_EQ(app->file.path, file.wstring());
    EXPECT_TRUE(app->file.title.empty());
    EXPECT_EQ(app->panel.selectedProductId(), 0u);
}

TEST_F(FileCommandsTest, PlatformSaveDialogReturnsTheChosenFile) {
    ASSERT_TRUE(start(Attached::None));
    app->prompts.messageBox = &boxSeam;
    selectProduct(L"264");
    const fs::path file = folder / L"저장.zel";

    std::vector<std::string> types;
    DialogDriver driver([&](HWND dialog) {
        types = comboEntries(::GetDlgItem(dialog, cmb1));
        setWindowTextUtf8(fileNameField(dialog), win32::narrow(file.wstring()));
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    command(IDM_FILE_SAVE);

    ASSERT_TRUE(driver.ran());
    EXPECT_FALSE(driver.forcedClose());
    EXPECT_EQ(types, (std::vector<std::string>{"USB I/O Data (*.ZEL)", "All Files (*.*)"}));
    EXPECT_EQ(fs::path(app->file.path), file);
    EXPECT_EQ(app->file.title, L"저장.zel");
    EXPECT_EQ(readBytes(file), std::string("0264 00 00 00\r\n"));
    EXPECT_TRUE(boxes.empty());
}

// ---- the platform dialogs' fields ----------------------------------------------------

TEST(FileDialogFields, OpenSaveAndSaveAsSettings) {
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    FileDialogBuffers buffers = makeFileDialogBuffers(L"C:\\설정\\a.kbd", L"a.kbd");

    const OPENFILENAMEW open = fileDialogFields(FileDialogKind::Open, owner, buffers);
    EXPECT_EQ(open.lStructSize, sizeof(OPENFILENAMEW));
    EXPECT_EQ(open.hwndOwner, owner);
    EXPECT_EQ(filterList(open.lpstrFilter), std::wstring(L"USB I/O Data (*.zel)\0*.kbd;*.zel\0All Files (*.*)\0*.*", 52));
    EXPECT_EQ(open.nFilterIndex, 1u);
    EXPECT_EQ(open.lpstrFile, buffers.file.data());
    EXPECT_EQ(open.nMaxFile, 260u);
    EXPECT_EQ(open.lpstrFileTitle, buffers.title.data());
    EXPECT_EQ(open.nMaxFileTitle, 260u);
    EXPECT_EQ(open.Flags, static_cast<DWORD>(0x1004));
    EXPECT_EQ(open.Flags, static_cast<DWORD>(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
    EXPECT_EQ(std::wstring(open.lpstrDefExt), L"kbd");
    EXPECT_EQ(open.lpstrInitialDir, nullptr);
    EXPECT_EQ(open.lpstrTitle, nullptr);
    EXPECT_EQ(open.lpfnHook, nullptr);
    EXPECT_EQ(open.lpstrCustomFilter, nullptr);
    EXPECT_EQ(std::wstring(open.lpstrFile), L"C:\\설정\\a.kbd");
    EXPECT_EQ(std::wstring(open.lpstrFileTitle), L"a.kbd");

    const OPENFILENAMEW save = fileDialogFields(FileDialogKind::Save, owner, buffers);
    EXPECT_EQ(filterList(save.lpstrFilter), std::wstring(L"USB I/O Data (*.ZEL)\0*.kbd;*.zel\0All Files (*.*)\0*.*", 52));
    EXPECT_EQ(save.Flags, static_cast<DWORD>(0x800));
    EXPECT_EQ(std::wstring(save.lpstrDefExt), L"kbd");
    EXPECT_EQ(save.nFilterIndex, 1u);
    EXPECT_EQ(save.lpstrFile, buffers.file.data());

    const OPENFILENAMEW saveAs = fileDialogFields(FileDialogKind::SaveAs, owner, buffers);
    EXPECT_EQ(filterList(saveAs.lpstrFilter), std::wstring(L"USB I/O Data (*.zel)\0*.kbd;*.zel\0All Files (*.*)\0*.*", 52));
    EXPECT_EQ(saveAs.Flags, static_cast<DWORD>(OFN_PATHMUSTEXIST));
    EXPECT_EQ(std::wstring(saveAs.lpstrDefExt), L"kbd");
}

TEST(FileDialogFields, BuffersHoldAtMost259Characters) {
    const std::wstring longPath(300, L'p');
    const FileDialogBuffers buffers = makeFileDialogBuffers(longPath, L"t");
    EXPECT_EQ(std::wstring(buffers.file.data()), std::wstring(259, L'p'));
    EXPECT_EQ(buffers.file[259], L'\0');
    EXPECT_EQ(std::wstring(buffers.title.data()), L"t");
    EXPECT_EQ(fileTitleOf(L"C:\\폴더\\설정 파일.zel"), L"설정 파일.zel");
}

}  // namespace
}  // namespace zelio::ui
