// libzelio: the C interface (include/zelio.h) over the module link and the
// command set. Every entry point catches whatever the C++ side throws and
// turns it into a zelio_error; nothing but integers, plain structs and
// NUL-terminated strings crosses the boundary.
#include "zelio.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "emulator/emulated_host.h"
#include "link/hid_host.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "ids/product_id.h"
#include "link/failure_class.h"

#ifdef _WIN32
#include "link/win32_hid_host.h"
#else
#include "link/hidapi_hid_host.h"
#endif

// The library's error codes are zelioctl's exit codes.
constexpr bool sameCode(zelio_error error, zelio::ExitCode code) { return static_cast<int>(error) == static_cast<int>(code); }
static_assert(sameCode(ZELIO_OK, zelio::kExitOk) && sameCode(ZELIO_ERR_IO, zelio::kExitIo) &&
              sameCode(ZELIO_ERR_USAGE, zelio::kExitUsage) && sameCode(ZELIO_ERR_NO_MODULE, zelio::kExitNoModule) &&
              sameCode(ZELIO_ERR_ACCESS, zelio::kExitAccess) && sameCode(ZELIO_ERR_AMBIGUOUS, zelio::kExitAmbiguous) &&
              sameCode(ZELIO_ERR_VERIFY, zelio::kExitVerify) && sameCode(ZELIO_ERR_TIMEOUT, zelio::kExitTimeout) &&
              sameCode(ZELIO_ERR_BUSY, zelio::kExitBusy));

static_assert(ZELIO_PORT_MAX == zelio::kMaxPortBytes + 1 && ZELIO_SERIAL_MAX == zelio::kMaxSerialBytes + 1);

namespace {

using namespace zelio;

// The context's view of the HID devices: emulated contexts can make it
// refuse to open chosen paths (ZELIO_EMULATE_LOCKED).
class ContextHost final : public ForwardingHidHost {
public:
    using ForwardingHidHost::ForwardingHidHost;

    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override {
        if (!ignoreLocks && locked.count(path) != 0) {
            failure_ = Failure{FailureKind::Access, "open " + path, "access denied"};
            return nullptr;
        }
        return ForwardingHidHost::open(path, overlapped);
    }

    std::set<std::string> locked;
    bool ignoreLocks = false;
};

// An emulated module and the path it enumerates with.
struct EmulatedModule {
    std::string path;
    VirtualModule* module;
};

// Adds a module to `host` and notes its path.
void plugIn(EmulatedHost& host, std::vector<EmulatedModule>& known, Model model, int idNibble, uint8_t firmware,
            ModuleMode mode, const std::string& serial) {
    VirtualModule& module = host.addModule(model, idNibble, firmware, mode);
    module.serial = serial;
    known.push_back(EmulatedModule{host.pathOf(module), &module});
}

std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%03x", value);
    return text;
}

}  // namespace

struct zelio_context {
    zelio_context(std::unique_ptr<HidHost> inner, EmulatedHost* emulatedHost, std::vector<EmulatedModule> modules)
        : backend(std::move(inner)), host(*backend), emulated(emulatedHost), emulatedModules(std::move(modules)),
          link(host, systemClock()), commands(link) {}

    std::unique_ptr<HidHost> backend;  // the platform's host or the emulator
    ContextHost host;
    EmulatedHost* emulated;  // owned by `host`; null on a real context
    std::vector<EmulatedModule> emulatedModules;
    ModuleLink link;
    CommandSet commands;  // addressed to one module for each call

    // What product ID 0 stands for: a product ID, or the module whose path,
    // port or serial number is `selectedText`.
    enum class Selection { None, ProductId, Path, Port, Serial } selection = Selection::None;
    uint16_t selectedId = 0;
    std::string selectedText;

    std::string lastError;
};

namespace {

int fail(zelio_context* ctx, int code, const std::string& text) {
    try {
        ctx->lastError = text;
    } catch (...) {
        ctx->lastError.clear();  // out of memory: the code alone has to do
    }
    return code;
}

int succeed(zelio_context* ctx) {
    ctx->lastError.clear();
    return ZELIO_OK;
}

// Runs `body` on a valid context; whatever it throws becomes an error code.
template <class Body>
int guarded(zelio_context* ctx, Body&& body) noexcept {
    if (ctx == nullptr) return ZELIO_ERR_USAGE;
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return fail(ctx, ZELIO_ERR_IO, "out of memory");
    } catch (const std::exception& e) {
        return fail(ctx, ZELIO_ERR_IO, e.what());
    } catch (...) {
        return fail(ctx, ZELIO_ERR_IO, "unexpected failure");
    }
}

// The family's modules on the host; an error when they cannot be listed.
int scan(zelio_context* ctx, const std::vector<ModuleRecord>*& out) {
    ModuleDirectory& directory = ctx->link.directory();
    out = &directory.modules();
    if (out->empty() && directory.lastFailure())
        return fail(ctx, exitCodeOf(directory.lastFailure().kind), directory.lastFailure().text());
    return ZELIO_OK;
}

int findById(zelio_context* ctx, uint16_t productId, ModuleRecord& out) {
    if (!isModuleId(productId))
        return fail(ctx, ZELIO_ERR_USAGE,
                    "product ID " + hex(productId) + " is none of the family's (0x260-0x269, 0x280-0x289)");
    ModuleDirectory& directory = ctx->link.directory();
    const std::vector<ModuleRecord> matches = directory.find(productId);
    if (matches.empty()) {
        if (directory.lastFailure()) return fail(ctx, exitCodeOf(directory.lastFailure().kind), directory.lastFailure().text());
        return fail(ctx, ZELIO_ERR_NO_MODULE, "no module with product ID " + hex(productId) + " is attached");
    }
    if (matches.size() > 1)
        return fail(ctx, ZELIO_ERR_AMBIGUOUS,
                    std::to_string(matches.size()) + " modules have product ID " + hex(productId) +
                        "; select one by its path");
    out = matches.front();
    return ZELIO_OK;
}

using Selection = zelio_context::Selection;

// The record's text a selection by path, port or serial number compares.
const std::string& keyOf(const ModuleRecord& module, Selection by) {
    return by == Selection::Path ? module.path : by == Selection::Port ? module.port : module.serial;
}

// The one module whose path, port or serial number is `text`.
int findByText(zelio_context* ctx, Selection by, const std::string& text, ModuleRecord& out) {
    const std::vector<ModuleRecord>* modules = nullptr;
    if (const int rc = scan(ctx, modules); rc != ZELIO_OK) return rc;
    size_t matches = 0;
    for (const ModuleRecord& module : *modules) {
        if (keyOf(module, by) != text) continue;
        if (matches++ == 0) out = module;
    }
    const char* what = by == Selection::Path ? "at" : by == Selection::Port ? "at port" : "with serial number";
    if (matches == 0) return fail(ctx, ZELIO_ERR_NO_MODULE, std::string("no module of the family ") + what + " '" + text + "'");
    if (matches > 1)
        return fail(ctx, ZELIO_ERR_AMBIGUOUS, std::to_string(matches) + " modules " + what + " '" + text +
                                                   (by == Selection::Serial ? "'; select one by its port"
                                                                            : "'; select one by its path"));
    return ZELIO_OK;
}

// zelio_select_path/_port/_serial: the module must be attached, the only
// one matching, and open.
int selectByText(zelio_context* ctx, Selection by, const char* text, size_t room) {
    const char* what = by == Selection::Path ? "device path" : by == Selection::Port ? "port" : "serial number";
    if (text == nullptr || *text == '\0') return fail(ctx, ZELIO_ERR_USAGE, std::string("no ") + what + " given");
    if (std::strlen(text) >= room)
        return fail(ctx, ZELIO_ERR_USAGE,
                    std::string("a ") + what + " is at most " + std::to_string(room - 1) + " bytes");
    ModuleRecord target;
    if (const int rc = findByText(ctx, by, text, target); rc != ZELIO_OK) return rc;
    // Selecting a module the system will not open says so at once.
    ctx->commands.select(target);
    if (ctx->link.open(target.productId) != 1) {
        const Failure& why = ctx->link.lastFailure();
        return fail(ctx, exitCodeOf(why.kind), why.text());
    }
    ctx->selection = by;
    ctx->selectedText = text;
    return succeed(ctx);
}

// The module a call addresses: `productId`, or the selected one for 0. The
// command set's commands go to it, and to it only.
int resolve(zelio_context* ctx, uint16_t productId, ModuleRecord& out) {
    int rc = ZELIO_ERR_USAGE;
    if (productId != 0)
        rc = findById(ctx, productId, out);
    else if (ctx->selection == zelio_context::Selection::ProductId)
        rc = findById(ctx, ctx->selectedId, out);
    else if (ctx->selection != zelio_context::Selection::None)
        rc = findByText(ctx, ctx->selection, ctx->selectedText, out);
    else
        return fail(ctx, ZELIO_ERR_USAGE, "product ID 0 stands for the selected module, and none is selected");
    if (rc == ZELIO_OK) ctx->commands.select(out);
    return rc;
}

// The error of a command to `target` that the link could not complete.
int commandFailed(zelio_context* ctx, const ModuleRecord& target, int code) {
    const Failure& why = ctx->link.lastFailure();
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(code));
    return fail(ctx, exitCodeOf(why.kind),
                std::string("command ") + text + " to " + hex(target.productId) + ": " +
                    (why ? why.text() : "the module did not answer"));
}

zelio_config toC(const ChannelConfig& stored) {
    zelio_config config{};
    config.product_id = static_cast<uint16_t>(stored.productId);
    config.open_drain_mask = stored.openDrainMask;
    config.high_mask = stored.highMask;
    config.input_mask = stored.inputMask;
    return config;
}

std::string describe(const zelio_config& c) {
    char text[64];
    std::snprintf(text, sizeof text, "%s od=0x%02X high=0x%02X in=0x%02X", hex(c.product_id).c_str(),
                  c.open_drain_mask, c.high_mask, c.input_mask);
    return text;
}

bool validChannel(int channel) { return channel >= 1 && channel <= 8; }

// `text` with its NUL into `out`; "" when it does not fit.
template <size_t N>
void copyText(char (&out)[N], const std::string& text) {
    if (text.size() >= N) {
        out[0] = '\0';
        return;
    }
    std::memcpy(out, text.c_str(), text.size() + 1);
}

// zelio_list and zelio_list_details: up to `capacity` entries, each filled
// by `fill`, and the number of modules attached.
template <class Entry, class Fill>
int listModules(zelio_context* ctx, Entry* out, size_t capacity, size_t* count, Fill&& fill) {
    if (count == nullptr || (out == nullptr && capacity > 0))
        return fail(ctx, ZELIO_ERR_USAGE, "zelio_list needs a count and room for `capacity` entries");
    *count = 0;
    const std::vector<ModuleRecord>* modules = nullptr;
    if (const int rc = scan(ctx, modules); rc != ZELIO_OK) return rc;
    for (size_t i = 0; i < modules->size() && i < capacity; ++i) {
        out[i] = Entry{};
        fill(out[i], (*modules)[i]);
    }
    *count = modules->size();
    return succeed(ctx);
}

void fillInfo(zelio_module_info& info, const ModuleRecord& t) {
    info.product_id = t.productId;
    copyText(info.model, std::string(modelName(t.productId)));
    info.mode = isSettingId(t.productId) ? ZELIO_MODE_SETTING : ZELIO_MODE_IO;
    copyText(info.path, t.path);
}

}  // namespace

extern "C" {

ZELIO_API int zelio_open(zelio_context** ctx) {
    if (ctx == nullptr) return ZELIO_ERR_USAGE;
    *ctx = nullptr;
    try {
#ifdef _WIN32
        *ctx = new zelio_context(std::make_unique<Win32HidHost>(), nullptr, std::vector<EmulatedModule>{});
#else
        *ctx = new zelio_context(std::make_unique<HidapiHost>(), nullptr, std::vector<EmulatedModule>{});
#endif
        return ZELIO_OK;
    } catch (...) {
        return ZELIO_ERR_IO;
    }
}

ZELIO_API int zelio_open_emulated(zelio_context** ctx) {
    if (ctx == nullptr) return ZELIO_ERR_USAGE;
    *ctx = nullptr;
    try {
        auto host = std::make_unique<EmulatedHost>(systemClock());
        // The modules of zelioctl --emulate.
        std::vector<EmulatedModule> modules;
        plugIn(*host, modules, Model::Zel280, 1, 0x12, ModuleMode::Setting, "EMU0001");
        plugIn(*host, modules, Model::Zel260, 1, 0x10, ModuleMode::Normal, "EMU0002");
        EmulatedHost* emulated = host.get();
        *ctx = new zelio_context(std::move(host), emulated, std::move(modules));
        return ZELIO_OK;
    } catch (...) {
        return ZELIO_ERR_IO;
    }
}

ZELIO_API void zelio_close(zelio_context* ctx) { delete ctx; }

ZELIO_API const char* zelio_last_error(const zelio_context* ctx) {
    return ctx == nullptr ? "no context" : ctx->lastError.c_str();
}

ZELIO_API const char* zelio_strerror(int error) {
    switch (error) {
        case ZELIO_OK: return "success";
        case ZELIO_ERR_IO: return "input/output error";
        case ZELIO_ERR_USAGE: return "bad argument";
        case ZELIO_ERR_NO_MODULE: return "no such module";
        case ZELIO_ERR_ACCESS: return "access denied";
        case ZELIO_ERR_AMBIGUOUS: return "more than one module matches";
        case ZELIO_ERR_VERIFY: return "verification mismatch";
        case ZELIO_ERR_TIMEOUT: return "time-out";
        case ZELIO_ERR_BUSY: return "module busy";
        default: return "unknown error";
    }
}

ZELIO_API int zelio_list(zelio_context* ctx, zelio_module_info* out, size_t capacity, size_t* count) {
    return guarded(ctx, [&] { return listModules(ctx, out, capacity, count, fillInfo); });
}

ZELIO_API int zelio_list_details(zelio_context* ctx, zelio_module_detail* out, size_t capacity, size_t* count) {
    return guarded(ctx, [&] {
        return listModules(ctx, out, capacity, count, [](zelio_module_detail& detail, const ModuleRecord& t) {
            fillInfo(detail.info, t);
            copyText(detail.port, t.port);
            copyText(detail.serial, t.serial);
        });
    });
}

ZELIO_API int zelio_select(zelio_context* ctx, uint16_t product_id) {
    return guarded(ctx, [&] {
        if (product_id == 0) {
            ctx->selection = zelio_context::Selection::None;
            return succeed(ctx);
        }
        ModuleRecord target;
        if (const int rc = findById(ctx, product_id, target); rc != ZELIO_OK) return rc;
        ctx->selection = zelio_context::Selection::ProductId;
        ctx->selectedId = product_id;
        return succeed(ctx);
    });
}

ZELIO_API int zelio_select_path(zelio_context* ctx, const char* path) {
    // A path longer than zelio_list shows can still be selected.
    return guarded(ctx, [&] { return selectByText(ctx, Selection::Path, path, SIZE_MAX); });
}

ZELIO_API int zelio_select_serial(zelio_context* ctx, const char* serial) {
    return guarded(ctx, [&] { return selectByText(ctx, Selection::Serial, serial, ZELIO_SERIAL_MAX); });
}

ZELIO_API int zelio_select_port(zelio_context* ctx, const char* port) {
    return guarded(ctx, [&] { return selectByText(ctx, Selection::Port, port, ZELIO_PORT_MAX); });
}

ZELIO_API int zelio_firmware_version(zelio_context* ctx, uint16_t product_id, uint8_t* version) {
    return guarded(ctx, [&] {
        if (version == nullptr) return fail(ctx, ZELIO_ERR_USAGE, "no place for the version");
        ModuleRecord target;
        if (const int rc = resolve(ctx, product_id, target); rc != ZELIO_OK) return rc;
        const int value = ctx->commands.readFirmwareVersion();
        if (ctx->link.linkStatus() != 1) return commandFailed(ctx, target, cmd::kFirmwareVersion);
        *version = static_cast<uint8_t>(value);
        return succeed(ctx);
    });
}

ZELIO_API int zelio_read_config(zelio_context* ctx, uint16_t product_id, zelio_config* config) {
    return guarded(ctx, [&] {
        if (config == nullptr) return fail(ctx, ZELIO_ERR_USAGE, "no place for the configuration");
        ModuleRecord target;
        if (const int rc = resolve(ctx, product_id, target); rc != ZELIO_OK) return rc;
        ChannelConfig stored;
        if (!ctx->commands.readConfiguration(stored)) return commandFailed(ctx, target, cmd::kConfiguration);
        *config = toC(stored);
        return succeed(ctx);
    });
}

ZELIO_API int zelio_write_config(zelio_context* ctx, uint16_t product_id, const zelio_config* config,
                                 unsigned flags) {
    return guarded(ctx, [&] {
        if (config == nullptr) return fail(ctx, ZELIO_ERR_USAGE, "no configuration given");
        if ((flags & ~ZELIO_WRITE_VERIFY) != 0) return fail(ctx, ZELIO_ERR_USAGE, "unknown flags");
        if (!isNormalId(config->product_id))
            return fail(ctx, ZELIO_ERR_USAGE,
                        "product ID " + hex(config->product_id) + " is not in 0x261-0x269 or 0x281-0x289");
        ModuleRecord target;
        if (const int rc = resolve(ctx, product_id, target); rc != ZELIO_OK) return rc;
        if (familyOf(config->product_id) != familyOf(target.productId))
            return fail(ctx, ZELIO_ERR_USAGE,
                        "the " + std::string(modelName(target.productId)) + " at " + hex(target.productId) +
                            " cannot run under product ID " + hex(config->product_id));
        const ChannelConfig wanted{config->product_id, config->open_drain_mask, config->high_mask,
                                   config->input_mask};
        // No other program's command between the write and its read-back.
        struct HeldLock {
            ModuleLink& link;
            ~HeldLock() { link.holdModuleLock(false); }
        } held{ctx->link};
        ctx->link.holdModuleLock(true);
        if (!ctx->commands.writeConfiguration(wanted)) return commandFailed(ctx, target, cmd::kConfiguration);
        if ((flags & ZELIO_WRITE_VERIFY) != 0) {
            ChannelConfig stored;
            switch (ctx->commands.readBack(wanted, stored)) {
                case CommandSet::ReadBack::Failed: return commandFailed(ctx, target, cmd::kConfiguration);
                case CommandSet::ReadBack::Differs:
                    return fail(ctx, ZELIO_ERR_VERIFY,
                                "wrote " + describe(*config) + ", read back " + describe(toC(stored)));
                case CommandSet::ReadBack::Same: break;
            }
        }
        return succeed(ctx);
    });
}

ZELIO_API int zelio_output(zelio_context* ctx, uint16_t product_id, int channel, int level) {
    return guarded(ctx, [&] {
        if (!validChannel(channel)) return fail(ctx, ZELIO_ERR_USAGE, "channel " + std::to_string(channel) + " is not 1-8");
        ModuleRecord target;
        if (const int rc = resolve(ctx, product_id, target); rc != ZELIO_OK) return rc;
        const int channelArg = level != 0 ? channel : -channel;
        if (!ctx->commands.outputTest(0, channelArg)) return commandFailed(ctx, target, cmd::kOutputTest);
        return succeed(ctx);
    });
}

ZELIO_API int zelio_blink(zelio_context* ctx, uint16_t product_id, int channel, int high_tenths, int low_tenths) {
    return guarded(ctx, [&] {
        if (!validChannel(channel)) return fail(ctx, ZELIO_ERR_USAGE, "channel " + std::to_string(channel) + " is not 1-8");
        if (high_tenths < 0 || high_tenths > 15 || low_tenths < 0 || low_tenths > 15)
            return fail(ctx, ZELIO_ERR_USAGE, "blink times are 0-15 tenths of a second");
        ModuleRecord target;
        if (const int rc = resolve(ctx, product_id, target); rc != ZELIO_OK) return rc;
        const int blinkByte = high_tenths * 16 + low_tenths;
        if (!ctx->commands.outputTest(blinkByte, channel)) return commandFailed(ctx, target, cmd::kOutputTest);
        return succeed(ctx);
    });
}

ZELIO_API int zelio_reset(zelio_context* ctx, uint16_t product_id) {
    return guarded(ctx, [&] {
        ModuleRecord target;
        if (const int rc = resolve(ctx, product_id, target); rc != ZELIO_OK) return rc;
        if (!ctx->commands.resetToIoMode()) return commandFailed(ctx, target, cmd::kResetToIo);
        return succeed(ctx);
    });
}

ZELIO_API int zelio_change_id_to_260(zelio_context* ctx, uint16_t product_id) {
    return guarded(ctx, [&] {
        auto isRunning260 = [](uint32_t id) { return familyOf(id) == kFamily260 && isNormalId(id); };
        if (product_id != 0 && !isRunning260(product_id))
            return fail(ctx, ZELIO_ERR_USAGE, "product ID " + hex(product_id) + " is not in 0x261-0x269");
        ModuleRecord target;
        if (const int rc = resolve(ctx, product_id, target); rc != ZELIO_OK) return rc;
        if (!isRunning260(target.productId))
            return fail(ctx, ZELIO_ERR_USAGE, "the selected module runs at " + hex(target.productId) +
                                                  ", not in 0x261-0x269");
        if (!ctx->commands.changeIdTo260(target.productId)) return commandFailed(ctx, target, cmd::kChangeId);
        return succeed(ctx);
    });
}

ZELIO_API int zelio_emulate(zelio_context* ctx, uint16_t product_id, int what) {
    return guarded(ctx, [&] {
        if (ctx->emulated == nullptr) return fail(ctx, ZELIO_ERR_USAGE, "the context has no emulated modules");
        if (what < ZELIO_EMULATE_HEALTHY || what > ZELIO_EMULATE_LOCKED)
            return fail(ctx, ZELIO_ERR_USAGE, "unknown emulation " + std::to_string(what));
        // A locked module can still be found here, so that it can be unlocked.
        ctx->host.ignoreLocks = true;
        ModuleRecord target;
        const int rc = resolve(ctx, product_id, target);
        ctx->host.ignoreLocks = false;
        if (rc != ZELIO_OK) return rc;

        VirtualModule* module = nullptr;
        for (const EmulatedModule& m : ctx->emulatedModules)
            if (m.path == target.path) module = m.module;
        if (module == nullptr) return fail(ctx, ZELIO_ERR_NO_MODULE, "no emulated module at '" + target.path + "'");
        switch (what) {
            case ZELIO_EMULATE_HEALTHY:
                module->silent = false;
                module->refuseWrites = false;
                module->replyOverride.clear();
                ctx->host.locked.erase(target.path);
                break;
            case ZELIO_EMULATE_SILENT: module->silent = true; break;
            case ZELIO_EMULATE_REFUSE_WRITES: module->refuseWrites = true; break;
            case ZELIO_EMULATE_GARBLED: module->replyOverride.assign(6, 0xFF); break;
            case ZELIO_EMULATE_TWIN:
                plugIn(*ctx->emulated, ctx->emulatedModules, module->model(), module->idNibble, module->firmware,
                       module->mode(), module->serial);
                break;
            case ZELIO_EMULATE_LOCKED: ctx->host.locked.insert(target.path); break;
        }
        return succeed(ctx);
    });
}

}  // extern "C"
