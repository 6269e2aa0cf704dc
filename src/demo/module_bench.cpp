#include "demo/module_bench.h"

#include <utility>

#include "ui/window_dispatch.h"

namespace zelio::demo {

using namespace ui;
namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerMs = 50;

// Layout, client coordinates. Each module has a section of its own, one
// below the other.
constexpr int kClientWidth = 560;
constexpr int kTopMargin = 8;
constexpr int kSectionHeight = 170;
constexpr int kLampsLeft = 40;
constexpr int kLampSpacing = 64;
constexpr int kLampsY = 58;        // lamp centres, from the section top
constexpr int kLampLabelY = 74;    // top of the "OUT n" labels
constexpr int kStateLineY = 98;
constexpr int kStateLineHeight = 36;

constexpr COLORREF kRimColour = RGB(70, 70, 70);
constexpr COLORREF kRuleColour = RGB(160, 160, 160);

int sectionTop(int index) { return kTopMargin + kSectionHeight * index; }

bool sameState(const OutputState& a, const OutputState& b) {
    return a.kind == b.kind && a.blinkByte == b.blinkByte;
}

HFONT guiFont() { return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)); }

}  // namespace

// ---------------------------------------------------------------- lamps

bool blinkLit(uint8_t blinkByte, int64_t elapsedMs) {
    const int64_t high = int64_t{blinkByte >> 4} * 100;
    const int64_t low = int64_t{blinkByte & 0x0F} * 100;
    if (high == 0) return false;
    if (low == 0) return true;
    if (elapsedMs < 0) elapsedMs = 0;
    return elapsedMs % (high + low) < high;
}

COLORREF lampColour(const OutputState& out, bool plugged, int64_t elapsedMs) {
    if (!plugged) return kLampOffColour;
    switch (out.kind) {
        case OutputState::High:
            return kLampHighColour;
        case OutputState::Low:
            return kLampLowColour;
        case OutputState::Blink:
            return blinkLit(out.blinkByte, elapsedMs) ? kLampHighColour : kLampLowColour;
        case OutputState::Off:
        default:
            return kLampOffColour;
    }
}

// ---------------------------------------------------------------- host tap

namespace {

class NotifyingHandle final : public ForwardingHidHandle {
public:
    NotifyingHandle(std::unique_ptr<HidHandle> inner, std::shared_ptr<std::function<void()>> onReport)
        : ForwardingHidHandle(std::move(inner)), onReport_(std::move(onReport)) {}

    bool write(const uint8_t* data, size_t length) override {
        const bool written = ForwardingHidHandle::write(data, length);
        if (*onReport_) (*onReport_)();
        return written;
    }

private:
    std::shared_ptr<std::function<void()>> onReport_;
};

}  // namespace

NotifyingHidHost::NotifyingHidHost(HidHost& inner, std::function<void()> onReport)
    : ForwardingHidHost(inner), onReport_(std::make_shared<std::function<void()>>(std::move(onReport))) {}

std::unique_ptr<HidHandle> NotifyingHidHost::open(const std::string& path, bool overlapped) {
    std::unique_ptr<HidHandle> handle = ForwardingHidHost::open(path, overlapped);
    if (!handle) return nullptr;
    return std::make_unique<NotifyingHandle>(std::move(handle), onReport_);
}

// ---------------------------------------------------------------- bench

ModuleBench::ModuleBench(EmulatedHost& host, std::vector<VirtualModule*> modules, Clock& clock)
    : host_(host), clock_(clock) {
    for (VirtualModule* m : modules) {
        if (!m) continue;
        Slot slot;
        slot.module = m;
        slots_.push_back(std::move(slot));
    }
}

ModuleBench::~ModuleBench() {
    if (hooked_) host_.setOnDevicesChanged(nullptr);
    if (window_) ::DestroyWindow(window_);
}

bool ModuleBench::registerClass(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc<ModuleBench>;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kBenchClassName;
    if (::RegisterClassW(&wc) != 0) return true;
    return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void ModuleBench::unregisterClass(HINSTANCE instance) { ::UnregisterClassW(kBenchClassName, instance); }

HWND ModuleBench::create(HINSTANCE instance, int x, int y, int showCmd) {
    if (window_) return window_;
    instance_ = instance;

    // No close box: the bench lives as long as the program, which ends with
    // the main window.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    const int sections = slots_.empty() ? 1 : static_cast<int>(slots_.size());
    RECT outer{0, 0, kClientWidth, sectionTop(sections) - 12};
    ::AdjustWindowRectEx(&outer, style, FALSE, 0);

    HWND window = ::CreateWindowExW(0, kBenchClassName, kBenchTitle, style, x, y, outer.right - outer.left,
                                    outer.bottom - outer.top, nullptr, nullptr, instance, this);
    if (!window) return nullptr;
    if (HMENU system = ::GetSystemMenu(window, FALSE)) ::EnableMenuItem(system, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    ::SetTimer(window, kTimerId, kTimerMs, nullptr);
    refresh();
    ::ShowWindow(window, showCmd);
    ::UpdateWindow(window);
    return window;
}

void ModuleBench::followDeviceChanges(std::function<void()> after) {
    hooked_ = true;
    host_.setOnDevicesChanged([this, after = std::move(after)] {
        refresh();
        if (after) after();
    });
}

POINT ModuleBench::lampCentre(int module, int channel) {
    return POINT{kLampsLeft + kLampSpacing * (channel - 1), sectionTop(module - 1) + kLampsY};
}

void ModuleBench::refresh() {
    if (!window_) return;
    const int64_t now = clock_.nowMs();
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        const VirtualModule& m = *slot.module;

        std::string line = m.stateLine();
        if (line != slot.shownLine) {
            setWindowTextUtf8(slot.stateLine, line);
            slot.shownLine = std::move(line);
        }
        const WPARAM plugged = m.plugged() ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(::SendMessageW(slot.plugged, BM_GETCHECK, 0, 0)) != plugged)
            ::SendMessageW(slot.plugged, BM_SETCHECK, plugged, 0);
        const WPARAM silent = m.silent ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(::SendMessageW(slot.silent, BM_GETCHECK, 0, 0)) != silent)
            ::SendMessageW(slot.silent, BM_SETCHECK, silent, 0);

        updateLamps(slot, static_cast<int>(i) + 1, now);
    }
}

void ModuleBench::updateLamps(Slot& slot, int module, int64_t now) {
    const VirtualModule& m = *slot.module;
    for (int c = 0; c < 8; ++c) {
        Lamp& lamp = slot.lamps[static_cast<size_t>(c)];
        const OutputState& out = m.outputs[c];
        // A new command, or power coming back, starts the blink afresh.
        if (!sameState(lamp.state, out) || lamp.plugged != m.plugged()) {
            lamp.state = out;
            lamp.plugged = m.plugged();
            lamp.since = now;
        }
        const COLORREF colour = lampColour(lamp.state, lamp.plugged, now - lamp.since);
        if (colour != lamp.colour) {
            lamp.colour = colour;
            const POINT centre = lampCentre(module, c + 1);
            const RECT area{centre.x - kLampRadius - 1, centre.y - kLampRadius - 1, centre.x + kLampRadius + 2,
                            centre.y + kLampRadius + 2};
            ::InvalidateRect(window_, &area, FALSE);
        }
    }
}

LRESULT ModuleBench::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            window_ = window;
            return ::DefWindowProcW(window, message, wParam, lParam);
        case WM_NCDESTROY:
            window_ = nullptr;
            for (Slot& slot : slots_) {
                slot.plugged = slot.silent = slot.stateLine = nullptr;
                slot.shownLine.clear();
            }
            return ::DefWindowProcW(window, message, wParam, lParam);
        case WM_CREATE:
            onCreate();
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kTimerId) refresh();
            return 0;
        case kBenchRefreshMessage:
            refresh();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_CLOSE:
            // Not closed on its own; the program ends with the main window.
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void ModuleBench::onCreate() {
    LOGFONTW base{};
    ::GetObjectW(guiFont(), sizeof base, &base);
    LOGFONTW bold = base;
    bold.lfWeight = FW_BOLD;
    bold.lfHeight = -14;
    nameFont_.reset(::CreateFontIndirectW(&bold));
    lineFont_.reset(::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                                  FIXED_PITCH | FF_MODERN, L"Courier New"));

    offBrush_.reset(::CreateSolidBrush(kLampOffColour));
    highBrush_.reset(::CreateSolidBrush(kLampHighColour));
    lowBrush_.reset(::CreateSolidBrush(kLampLowColour));
    rimPen_.reset(::CreatePen(PS_SOLID, 1, kRimColour));
    rulePen_.reset(::CreatePen(PS_SOLID, 1, kRuleColour));

    // Controls without a font of their own get the GUI font.
    auto child = [this](ControlParams params) {
        if (!params.font) params.font = guiFont();
        return createControl(window_, instance_, params);
    };

    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        const int m = static_cast<int>(i) + 1;
        const int top = sectionTop(static_cast<int>(i));
        const bool zel280 = slot.module->model() == Model::Zel280;

        child({.className = L"STATIC", .text = zel280 ? L"ZEL280" : L"ZEL260", .style = SS_LEFT, .x = 12,
               .y = top + 4, .w = 72, .h = 20, .id = benchControlId(m, kBenchNameLabel), .font = nameFont_.get()});
        // Plain check boxes: their state always comes from the module.
        slot.plugged = child({.className = L"BUTTON", .text = L"Plugged", .style = BS_CHECKBOX | WS_TABSTOP, .x = 92,
                              .y = top + 2, .w = 80, .h = 22, .id = benchControlId(m, kBenchPlugged)});
        slot.silent = child({.className = L"BUTTON", .text = L"Silent", .style = BS_CHECKBOX | WS_TABSTOP, .x = 178,
                             .y = top + 2, .w = 70, .h = 22, .id = benchControlId(m, kBenchSilent)});
        if (zel280) {
            child({.className = L"BUTTON", .text = L"Setting button", .style = BS_PUSHBUTTON | WS_TABSTOP, .x = 256,
                   .y = top, .w = 120, .h = 25, .id = benchControlId(m, kBenchSettingButton)});
        }
        slot.stateLine = child({.className = L"STATIC", .text = L"", .style = SS_LEFT | SS_NOPREFIX | SS_SUNKEN,
                                .x = 12, .y = top + kStateLineY, .w = kClientWidth - 24, .h = kStateLineHeight,
                                .id = benchControlId(m, kBenchStateLine), .font = lineFont_.get()});
        // Everything is drawn from the module at the first refresh.
        slot.shownLine.clear();
        for (Lamp& lamp : slot.lamps) lamp = Lamp{};
    }
}

void ModuleBench::onCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    const int m = id / 1000;
    if (m < 1 || m > static_cast<int>(slots_.size())) return;
    VirtualModule& module = *slots_[static_cast<size_t>(m - 1)].module;
    switch (id % 1000) {
        case kBenchPlugged:
            if (module.plugged())
                host_.unplug(module);
            else
                host_.plug(module);
            break;
        case kBenchSettingButton:
            host_.pressSettingButton(module);
            break;
        case kBenchSilent:
            module.silent = !module.silent;
            break;
        default:
            return;
    }
    refresh();
}

void ModuleBench::paint() {
    PaintScope scope(window_);
    HDC dc = scope.get();
    if (!dc) return;

    // Rules between the sections.
    {
        SelectScope pen(dc, rulePen_.get());
        for (size_t i = 1; i < slots_.size(); ++i) {
            const int y = sectionTop(static_cast<int>(i)) - 8;
            ::MoveToEx(dc, 8, y, nullptr);
            ::LineTo(dc, kClientWidth - 8, y);
        }
    }

    SelectScope font(dc, guiFont());
    SelectScope pen(dc, rimPen_.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextAlign(dc, TA_CENTER | TA_TOP);
    for (size_t i = 0; i < slots_.size(); ++i) {
        const int m = static_cast<int>(i) + 1;
        for (int c = 1; c <= 8; ++c) {
            const Lamp& lamp = slots_[i].lamps[static_cast<size_t>(c - 1)];
            HBRUSH brush = lamp.colour == kLampHighColour  ? highBrush_.get()
                           : lamp.colour == kLampLowColour ? lowBrush_.get()
                                                           : offBrush_.get();
            const POINT centre = lampCentre(m, c);
            {
                SelectScope fill(dc, brush);
                ::Ellipse(dc, centre.x - kLampRadius, centre.y - kLampRadius, centre.x + kLampRadius + 1,
                          centre.y + kLampRadius + 1);
            }
            const std::wstring label = L"OUT " + std::to_wstring(c);
            ::TextOutW(dc, centre.x, sectionTop(m - 1) + kLampLabelY, label.c_str(), static_cast<int>(label.size()));
        }
    }
}

}  // namespace zelio::demo
