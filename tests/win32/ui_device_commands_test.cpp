// The Data and USB menu commands, File -> Exit and the devices-changed
// notification, on the real main window over emulated modules.

#include "ui_fixture.h"

#include <dbt.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace zelio::ui::test {
namespace {

// ---- texts the window must show ------------------------------------------------

const std::string kSelectProductId = " USB 장치번호 Product ID를 선택하세요.     ";
const std::string kChoose261 = " 연결된 장치는 Product ID를 261~269 범위에서 선택해야 됩니다.     ";
const std::string kChoose281 = " 연결된 장치는 Product ID를 281~289 범위에서 선택해야 됩니다.     ";
const std::string kWriteDone =
    "\r\n > 데이타 전송이 완료되었습니다.\r\n\r\n > 장치를 다시 연결하거나 'USB->Reset' 메뉴를 실행하면\r\n"
    "    USB 출력 장치로 동작합니다..";
const std::string kWriteFailed = "\r\n > 데이타 전송 중에 에러가 발생하였습니다.";
const std::string kReceiveFailed = "\r\n > 데이타 수신 중에 에러가 발생하였습니다.";
const std::string kReadDone = "\r\n > 데이타 읽기를 완료하였습니다.\r\n";
const std::string kResetDone = "\r\n > USB 입출력 모드로 변경되었습니다.\r\n";
const std::string kResetFailed = "\r\n > 장치 리셋 에러가 발생하였습니다.\r\n";
const std::string kSearch = "\r\n > USB 장치 검색\r\n\r\n   Product ID ";
const std::string kRemoved = "\r\n > USB 출력 모듈이 제거되었습니다.\r\n";
const std::string kRemovedStatus = " Removed USB Output Module";

std::string connectedMessage(const char* id) {
    return std::string("\r\n > USB 출력 모듈(ZEL") + id + ")이 변경모드로 연결되었습니다.\r\n";
}
std::string connectedStatus(const char* id) { return std::string(" Connected USB Output Module - ZEL") + id; }

// ---- a HID host that lets a test act on every report written ------------------

class HookedHandle final : public HidHandle {
public:
    HookedHandle(std::unique_ptr<HidHandle> inner, const std::function<void(const uint8_t*, size_t)>& onWrite)
        : inner_(std::move(inner)), onWrite_(onWrite) {}
    bool attributes(HidAttributes& out) override { return inner_->attributes(out); }
    bool caps(HidCaps& out) override { return inner_->caps(out); }
    bool write(const uint8_t* data, size_t length) override {
        if (onWrite_) onWrite_(data, length);
        return inner_->write(data, length);
    }
    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        return inner_->read(buffer, length, timeoutMs);
    }

private:
    std::unique_ptr<HidHandle> inner_;
    const std::function<void(const uint8_t*, size_t)>& onWrite_;
};

class HookedHost final : public HidHost {
public:
    explicit HookedHost(HidHost& inner) : inner_(inner) {}
    std::vector<std::string> enumerate() override { return inner_.enumerate(); }
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override {
        auto handle = inner_.open(path, overlapped);
        if (!handle) return nullptr;
        return std::make_unique<HookedHandle>(std::move(handle), onWrite);
    }
    // Called with each output report before the module gets it.
    std::function<void(const uint8_t*, size_t)> onWrite;

private:
    HidHost& inner_;
};

HCURSOR waitCursor() { return ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)); }
HCURSOR arrowCursor() { return ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)); }

class DeviceCommandsTest : public MainWindowTest {
protected:
    struct Box {
        std::string text, title;
        UINT type;
    };

    // Opens the main window with the modules already on `host`, the module
    // link running over a host that reports every write to `hooked.onWrite`.
    void startHooked() {
        hooked = std::make_unique<HookedHost>(*host);
        link = std::make_unique<ModuleLink>(*hooked, clock);
        commands = std::make_unique<CommandSet>(*link);
        app = std::make_unique<MainWindow>(*commands, ::GetModuleHandleW(nullptr));
        app->prompts.messageBox = &boxSeam;
        ASSERT_TRUE(registerMainClass(app->instance));
        registered = true;
        window = createMainWindow(*app, SW_SHOWNORMAL);
        ASSERT_NE(window, nullptr);
        pump();
    }

    void startWith(Attached modules) {
        host = std::make_unique<EmulatedHost>(clock);
        if (modules == Attached::Zel280 || modules == Attached::Both)
            zel280 = &host->addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
        if (modules == Attached::Zel260 || modules == Attached::Both)
            zel260 = &host->addModule(Model::Zel260, 5, 0x21, ModuleMode::Setting);
        startHooked();
    }

    void emptyHost() { host = std::make_unique<EmulatedHost>(clock); }

    void command(int id) {
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        pumpMessages();
    }
    void deviceChange(WPARAM event = DBT_DEVNODES_CHANGED) {
        ::SendMessageW(window, WM_DEVICECHANGE, event, 0);
        pumpMessages();
    }
    // What the MessageLog control shows, and what the log buffer holds.
    std::string shownLog() {
        EXPECT_EQ(textOf(app->log.control()), app->log.str());
        return textOf(app->log.control());
    }
    std::string shownStatus() { return statusPane(app->status.control(), 0); }
    void selectEntry(const char* text) {
        for (int i = 0; i < 18; ++i) {
            if (comboEntry(app->controls.productList, i) == text) {
                selectProductEntry(i);
                return;
            }
        }
        FAIL() << "no list entry " << text;
    }
    bool testEnabled(int row) { return ::IsWindowEnabled(app->controls.testButtons[static_cast<size_t>(row)]) != FALSE; }
    bool idChangeItemsGrayed() {
        for (UINT id = IDM_USB_IDCHANGE_FIRST; id <= IDM_USB_IDCHANGE_LAST; ++id)
            if (!menuGrayed(window, id)) return false;
        return true;
    }
    bool idChangeItemsEnabled() {
        for (UINT id = IDM_USB_IDCHANGE_FIRST; id <= IDM_USB_IDCHANGE_LAST; ++id)
            if (!menuEnabled(window, id)) return false;
        return true;
    }
    bool dataItemsEnabled() {
        return menuEnabled(window, IDM_DATA_WRITE) && menuEnabled(window, IDM_DATA_READ) &&
               menuEnabled(window, IDM_USB_RESET);
    }
    bool dataItemsGrayed() {
        return menuGrayed(window, IDM_DATA_WRITE) && menuGrayed(window, IDM_DATA_READ) &&
               menuGrayed(window, IDM_USB_RESET);
    }

    std::unique_ptr<HookedHost> hooked;
    std::vector<Box> boxes;
    MessageBoxSeam boxSeam = [this](HWND, const std::string& text, const std::string& title, UINT type) {
        boxes.push_back({text, title, type});
        return IDOK;
    };
};

// The connector label column and the mode label column of a capture.
constexpr int kLabelsX = 18, kLabelsY = 98, kLabelsW = 62, kLabelsH = 245;
constexpr int kModeY = 120, kModeRight = 140, kModeH = 195;

// Left edge of the mode labels' area that no connector label row beside them
// (rows 1-8 of either table, drawn from x = 20) reaches.
int modeAreaLeft(HFONT panelFont) {
    int left = 80;
    for (LabelTable table : {LabelTable::Pin, LabelTable::WireColour}) {
        for (int k = 1; k <= 8; ++k)
            left = std::max<int>(left, 20 + textExtent(panelFont, win32::widen(labelRows(table)[static_cast<size_t>(k)])).cx);
    }
    return left;
}

// ---- Data -> Write -------------------------------------------------------------

TEST_F(DeviceCommandsTest, WriteToTheOtherFamilyWarnsAndSendsNothing) {
    startWith(Attached::Zel260);
    selectEntry("283");
    ASSERT_EQ(app->panel.selectedProductId(), 0x283u);
    const std::string before = shownLog();
    const uint64_t reports = zel260->reportCount;

    command(IDM_DATA_WRITE);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kChoose261);
    EXPECT_EQ(boxes[0].title, "USB Output Module");
    EXPECT_EQ(boxes[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(zel260->reportCount, reports);
    EXPECT_EQ(shownLog(), before);
    EXPECT_EQ(::GetCursor(), arrowCursor());
}

TEST_F(DeviceCommandsTest, WriteOfA260IdToAZel280WarnsWith281Range) {
    startWith(Attached::Zel280);
    selectEntry("263");
    command(IDM_DATA_WRITE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kChoose281);
    EXPECT_EQ(zel280->reportCount, 0u);
}

TEST_F(DeviceCommandsTest, WriteWithoutProductIdWarnsAndSendsNothing) {
    startWith(Attached::Zel280);
    const std::string before = shownLog();
    command(IDM_DATA_WRITE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSelectProductId);
    EXPECT_EQ(boxes[0].title, "USB Output Module");
    EXPECT_EQ(boxes[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(zel280->reportCount, 0u);
    EXPECT_EQ(shownLog(), before);
}

TEST_F(DeviceCommandsTest, WriteSendsThePanelAndReportsSuccessUnderTheWaitCursor) {
    startWith(Attached::Zel280);
    selectEntry("284");
    clickModeButton(1);  // open-drain
    clickModeButton(2);
    clickModeButton(2);  // input
    ::SendMessageW(app->controls.highBoxes[0], BM_CLICK, 0, 0);
    ::SendMessageW(app->controls.highBoxes[7], BM_CLICK, 0, 0);
    std::vector<HCURSOR> cursorsDuringWrites;
    hooked->onWrite = [&](const uint8_t*, size_t) { cursorsDuringWrites.push_back(::GetCursor()); };

    command(IDM_DATA_WRITE);

    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(shownLog(), kWriteDone);
    EXPECT_EQ(zel280->idNibble, 4);
    EXPECT_EQ(zel280->openDrainMask, 0x40);
    EXPECT_EQ(zel280->highMask, 0x81);
    EXPECT_EQ(zel280->inputMask, 0x20);
    ASSERT_EQ(cursorsDuringWrites.size(), 1u);
    EXPECT_EQ(cursorsDuringWrites[0], waitCursor());
    EXPECT_EQ(::GetCursor(), arrowCursor());
}

TEST_F(DeviceCommandsTest, FailedWriteIsAppendedToTheCurrentText) {
    startWith(Attached::Zel260);
    selectEntry("262");
    const std::string before = shownLog();
    ASSERT_FALSE(before.empty());
    zel260->refuseWrites = true;

    command(IDM_DATA_WRITE);
    EXPECT_EQ(shownLog(), before + kWriteFailed);
    command(IDM_DATA_WRITE);
    EXPECT_EQ(shownLog(), before + kWriteFailed + kWriteFailed);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DeviceCommandsTest, RepeatedFailedWritesStayWithinTheLogBuffer) {
    startWith(Attached::Zel280);
    selectEntry("281");
    zel280->refuseWrites = true;
    std::string unbounded = shownLog();
    for (int i = 0; i < 60; ++i) {
        command(IDM_DATA_WRITE);
        unbounded += kWriteFailed;
    }
    const std::string shown = shownLog();
    // The oldest text stays, the buffer is full and nothing ran past it.
    EXPECT_LE(cp949Length(shown), LogText::kBufferBytes - 1);
    EXPECT_LE(std::wstring_view(win32::widen(shown)).size(), LogText::kMessageChars);
    EXPECT_LT(shown.size(), unbounded.size());
    EXPECT_EQ(unbounded.compare(0, shown.size(), shown), 0);
}

// ---- Data -> Read --------------------------------------------------------------

TEST_F(DeviceCommandsTest, ReadShowsVersionAndCompletionAndAppliesTheConfiguration) {
    emptyHost();
    zel260 = &host->addModule(Model::Zel260, 3, 0x1A, ModuleMode::Setting);
    zel260->openDrainMask = 0x40;  // channel 2
    zel260->inputMask = 0x20;      // channel 3
    zel260->highMask = 0x81;       // channels 1 and 8
    startHooked();
    const Pixels before = capture();
    std::vector<HCURSOR> cursorsDuringWrites;
    hooked->onWrite = [&](const uint8_t*, size_t) { cursorsDuringWrites.push_back(::GetCursor()); };

    command(IDM_DATA_READ);

    EXPECT_EQ(shownLog(), "\r\n > 펌웨어 버전 1.10\r\n" + kReadDone);
    EXPECT_EQ(app->panel.selectedProductId(), 0x263u);
    EXPECT_EQ(textOf(app->controls.productList), "263");
    EXPECT_EQ(textOf(app->controls.modeButtons[0]), "push/pull Output");
    EXPECT_EQ(textOf(app->controls.modeButtons[1]), "open-drain Output");
    EXPECT_EQ(textOf(app->controls.modeButtons[2]), "Input");
    EXPECT_EQ(::SendMessageW(app->controls.highBoxes[0], BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(app->controls.highBoxes[7], BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(app->controls.highBoxes[1], BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(cursorsDuringWrites, (std::vector<HCURSOR>{waitCursor(), waitCursor()}));
    EXPECT_EQ(::GetCursor(), arrowCursor());

    // The mode labels and the wire-colour column were drawn at once: they
    // differ from the first paint and equal what a full repaint shows now
    // (where the column's blanks reach into the labels, the column drawn
    // last wins, so that strip is left out).
    const int modeX = modeAreaLeft(app->fonts.panel.get());
    ASSERT_LT(modeX, kModeRight - 20);
    const int modeW = kModeRight - modeX;
    const Pixels drawn = capture();
    EXPECT_GT(drawn.diff(modeX, kModeY, before, modeX, kModeY, modeW, kModeH), 0);
    EXPECT_GT(drawn.diff(kLabelsX, kLabelsY, before, kLabelsX, kLabelsY, kLabelsW, kLabelsH), 0);
    repaintAll();
    const Pixels painted = capture();
    EXPECT_EQ(drawn.diff(modeX, kModeY, painted, modeX, kModeY, modeW, kModeH), 0);
    EXPECT_EQ(drawn.diff(kLabelsX, kLabelsY, painted, kLabelsX, kLabelsY, kLabelsW, kLabelsH), 0);
}

TEST_F(DeviceCommandsTest, ReadWhoseConfigurationGoesUnansweredShowsOnlyTheReceiveError) {
    startWith(Attached::Zel280);
    // The module answers the version command, then falls silent.
    hooked->onWrite = [&](const uint8_t* report, size_t length) {
        if (length > 3 && report[3] == 0x43) zel280->silent = true;
    };
    command(IDM_DATA_READ);
    EXPECT_EQ(shownLog(), kReceiveFailed);
    EXPECT_EQ(zel280->reportCount, 2u);
    EXPECT_EQ(app->panel.selectedProductId(), 0u);
    EXPECT_EQ(textOf(app->controls.modeButtons[0]), "push/pull Output");
    EXPECT_EQ(::GetCursor(), arrowCursor());
}

TEST_F(DeviceCommandsTest, ReadWithVersionZeroStopsAtTheReceiveError) {
    startWith(Attached::Zel280);
    zel280->firmware = 0;
    zel280->inputMask = 0xFF;
    command(IDM_DATA_READ);
    EXPECT_EQ(shownLog(), kReceiveFailed);
    EXPECT_EQ(zel280->reportCount, 1u);  // the configuration is not asked for
    EXPECT_EQ(textOf(app->controls.modeButtons[0]), "push/pull Output");
    EXPECT_EQ(::GetCursor(), arrowCursor());
}

// ---- USB -> Reset, ID Change, Search ------------------------------------------------

TEST_F(DeviceCommandsTest, ResetClearsTheStatusAndTheFollowingChangeIsSilent) {
    startWith(Attached::Zel280);
    ASSERT_EQ(app->attachedFlag, 1);
    command(IDM_USB_RESET);
    EXPECT_EQ(shownLog(), kResetDone);
    EXPECT_EQ(shownStatus(), "");
    EXPECT_EQ(app->attachedFlag, 0);
    EXPECT_EQ(zel280->mode(), ModuleMode::Normal);

    // The module is back at 0x283: no module in SettingMode any more, and no
    // removal message either.
    deviceChange();
    EXPECT_EQ(commands->attachedModuleId(), 0);
    EXPECT_EQ(shownLog(), kResetDone);
    EXPECT_EQ(shownStatus(), "");
    EXPECT_TRUE(dataItemsGrayed());
    EXPECT_TRUE(idChangeItemsEnabled());
}

TEST_F(DeviceCommandsTest, FailedResetKeepsTheModuleAnnounced) {
    startWith(Attached::Zel280);
    zel280->refuseWrites = true;
    command(IDM_USB_RESET);
    EXPECT_EQ(shownLog(), kResetFailed);
    EXPECT_EQ(app->attachedFlag, 1);
    EXPECT_EQ(shownStatus(), connectedStatus("280"));
}

TEST_F(DeviceCommandsTest, IdChangeWithoutThatModuleNamesIt) {
    startWith(Attached::None);
    command(IDM_USB_IDCHANGE_FIRST + 4);  // 265 -> 260
    EXPECT_EQ(shownLog(), "\r\n > USB 장치(ZEL265)가 없습니다.\r\n");
    command(IDM_USB_IDCHANGE_LAST);  // 269 -> 260
    EXPECT_EQ(shownLog(), "\r\n > USB 장치(ZEL269)가 없습니다.\r\n");
}

TEST_F(DeviceCommandsTest, IdChangeMovesAZel260To260AndTheChangeAnnouncesIt) {
    emptyHost();
    zel260 = &host->addModule(Model::Zel260, 7, 0x21, ModuleMode::Normal);
    startHooked();
    ASSERT_EQ(commands->attachedModuleId(), 0);
    const std::string guide = shownLog();

    command(IDM_USB_IDCHANGE_FIRST + 6);  // 267 -> 260
    EXPECT_EQ(zel260->mode(), ModuleMode::Setting);
    EXPECT_EQ(shownLog(), guide);  // success says nothing itself
    ASSERT_FALSE(zel260->received.empty());
    EXPECT_EQ(zel260->received.back()[2], 0x47);
    EXPECT_EQ(zel260->received.back()[3], 0x02);

    deviceChange();
    EXPECT_EQ(commands->attachedModuleId(), 0x260);
    EXPECT_EQ(shownLog(), connectedMessage("260"));
    EXPECT_EQ(shownStatus(), connectedStatus("260"));
    EXPECT_EQ(app->attachedFlag, 1);
}

TEST_F(DeviceCommandsTest, IdChangeToAnotherIdLeavesTheModuleAlone) {
    emptyHost();
    zel260 = &host->addModule(Model::Zel260, 7, 0x21, ModuleMode::Normal);
    startHooked();
    command(IDM_USB_IDCHANGE_FIRST);  // 261 -> 260
    EXPECT_EQ(shownLog(), "\r\n > USB 장치(ZEL261)가 없습니다.\r\n");
    EXPECT_EQ(zel260->mode(), ModuleMode::Normal);
    EXPECT_EQ(zel260->reportCount, 0u);
}

TEST_F(DeviceCommandsTest, SearchWithNothingAttached) {
    startWith(Attached::None);
    host->addForeignDevice(0x046D, 0xC077);
    command(IDM_USB_SEARCH);
    EXPECT_EQ(shownLog(), kSearch);
    EXPECT_EQ(::GetCursor(), arrowCursor());
}

TEST_F(DeviceCommandsTest, SearchListsEveryModuleInEnumerationOrder) {
    emptyHost();
    zel280 = &host->addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    host->addForeignDevice(0x046D, 0xC077);
    zel260 = &host->addModule(Model::Zel260, 5, 0x21, ModuleMode::Normal);
    startHooked();
    command(IDM_USB_SEARCH);
    EXPECT_EQ(shownLog(), kSearch + " 0x280, 0x265");
}

// ---- File -> Exit and other ids ----------------------------------------------------

TEST_F(DeviceCommandsTest, ExitEndsTheMessageLoopWithCodeZero) {
    startWith(Attached::Zel280);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_FILE_EXIT, 0), 0);
    MSG msg{};
    // The quit message that ends the program's loop, with code 0.
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_TRUE(::IsWindow(window));  // the end of the process takes it down
}

TEST_F(DeviceCommandsTest, UnknownCommandsAreIgnored) {
    startWith(Attached::Zel280);
    const std::string before = shownLog();
    for (int id : {40001, 40004, 40021, 40099, 1, 0}) command(id);
    EXPECT_EQ(shownLog(), before);
    EXPECT_EQ(zel280->reportCount, 0u);
    EXPECT_TRUE(boxes.empty());
    int quitCode = -1;
    EXPECT_FALSE(pumpMessages(&quitCode));
}

// ---- device changes ----------------------------------------------------------------

TEST_F(DeviceCommandsTest, ChangeWithAModuleEnablesOutputRowsAndDrawsItsTable) {
    emptyHost();
    startHooked();
    clickModeButton(2);
    clickModeButton(2);  // row 2 becomes an input
    clickModeButton(5);  // row 5 open-drain
    deviceChange();      // nothing attached: every Test button off
    for (int r = 0; r < 8; ++r) EXPECT_FALSE(testEnabled(r)) << r;
    const Pixels pinTable = capture();

    zel260 = &host->addModule(Model::Zel260, 5, 0x21, ModuleMode::Setting);
    deviceChange();

    for (int r = 0; r < 8; ++r) EXPECT_EQ(testEnabled(r), r != 2) << r;
    EXPECT_TRUE(dataItemsEnabled());
    EXPECT_TRUE(idChangeItemsGrayed());
    EXPECT_EQ(shownStatus(), connectedStatus("260"));
    EXPECT_EQ(shownLog(), connectedMessage("260"));
    EXPECT_EQ(app->attachedFlag, 1);

    // The wire-colour column stands where the first paint put the pin table,
    // exactly as a paint for a 26x product ID draws it.
    const Pixels drawn = capture();
    EXPECT_GT(drawn.diff(kLabelsX, kLabelsY, pinTable, kLabelsX, kLabelsY, kLabelsW, kLabelsH), 0);
    app->panel.apply(ChannelConfig{.productId = 0x261});
    repaintAll();
    const Pixels wirePaint = capture();
    EXPECT_EQ(drawn.diff(kLabelsX, kLabelsY, wirePaint, kLabelsX, kLabelsY, kLabelsW, kLabelsH), 0);
}

TEST_F(DeviceCommandsTest, ChangeWithAZel280DrawsThePinTable) {
    emptyHost();
    startHooked();
    app->panel.apply(ChannelConfig{.productId = 0x265});
    repaintAll();
    const Pixels wireTable = capture();
    zel280 = &host->addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    deviceChange();
    EXPECT_EQ(shownLog(), connectedMessage("280"));
    EXPECT_EQ(shownStatus(), connectedStatus("280"));
    const Pixels drawn = capture();
    EXPECT_GT(drawn.diff(kLabelsX, kLabelsY, wireTable, kLabelsX, kLabelsY, kLabelsW, kLabelsH), 0);
    app->panel.apply(ChannelConfig{.productId = 0});
    repaintAll();
    const Pixels pinPaint = capture();
    EXPECT_EQ(drawn.diff(kLabelsX, kLabelsY, pinPaint, kLabelsX, kLabelsY, kLabelsW, kLabelsH), 0);
}

TEST_F(DeviceCommandsTest, UnplugOfAnAnnouncedModuleIsReportedAtEveryChange) {
    startWith(Attached::Zel280);
    host->unplug(*zel280);
    deviceChange();
    EXPECT_EQ(shownLog(), kRemoved);
    EXPECT_EQ(shownStatus(), kRemovedStatus);
    EXPECT_TRUE(dataItemsGrayed());
    EXPECT_TRUE(idChangeItemsEnabled());
    for (int r = 0; r < 8; ++r) EXPECT_FALSE(testEnabled(r)) << r;

    command(IDM_USB_SEARCH);
    ASSERT_EQ(shownLog(), kSearch);
    deviceChange();
    EXPECT_EQ(shownLog(), kRemoved);
    EXPECT_EQ(app->attachedFlag, 1);
}

TEST_F(DeviceCommandsTest, ChangeWithoutAnyModuleEverAnnouncedSaysNothing) {
    startWith(Attached::None);
    const std::string guide = shownLog();
    deviceChange();
    EXPECT_EQ(shownLog(), guide);
    EXPECT_EQ(shownStatus(), "");
    EXPECT_TRUE(dataItemsGrayed());
}

TEST_F(DeviceCommandsTest, OnlyTheDevicesChangedEventRunsTheHandler) {
    startWith(Attached::None);
    const std::string guide = shownLog();
    zel280 = &host->addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    for (WPARAM event : {WPARAM(DBT_DEVICEARRIVAL), WPARAM(DBT_DEVICEREMOVECOMPLETE), WPARAM(DBT_QUERYCHANGECONFIG),
                         WPARAM(DBT_CONFIGCHANGED), WPARAM(0x0006), WPARAM(0x0008)}) {
        deviceChange(event);
        EXPECT_EQ(commands->attachedModuleId(), 0) << event;
        EXPECT_EQ(shownLog(), guide) << event;
        EXPECT_TRUE(dataItemsGrayed()) << event;
    }
    deviceChange(DBT_DEVNODES_CHANGED);
    EXPECT_EQ(commands->attachedModuleId(), 0x280);
    EXPECT_EQ(shownLog(), connectedMessage("280"));
}

TEST_F(DeviceCommandsTest, ChangeToAnotherModuleAnnouncesTheNewOne) {
    startWith(Attached::Zel280);
    host->unplug(*zel280);
    zel260 = &host->addModule(Model::Zel260, 5, 0x21, ModuleMode::Setting);
    deviceChange();
    EXPECT_EQ(commands->attachedModuleId(), 0x260);
    EXPECT_EQ(shownLog(), connectedMessage("260"));
    EXPECT_EQ(shownStatus(), connectedStatus("260"));
}

}  // namespace
}  // namespace zelio::ui::test
