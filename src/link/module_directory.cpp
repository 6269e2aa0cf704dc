#include "link/module_directory.h"

#include <utility>

#include "ids/product_id.h"

namespace zelio {

namespace {

std::optional<uint16_t> hexAfter(std::string_view path, std::string_view key) {
    for (size_t at = 0; at + key.size() + 4 <= path.size(); ++at) {
        bool same = true;
        for (size_t k = 0; k < key.size() && same; ++k) {
            char c = path[at + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            same = c == key[k];
        }
        if (!same) continue;
        uint16_t value = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = path[at + key.size() + k];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return std::nullopt;
            value = static_cast<uint16_t>(value * 16 + digit);
        }
        return value;
    }
    return std::nullopt;
}

}  // namespace

std::optional<HidAttributes> idsInDevicePath(std::string_view path) {
    const auto vendor = hexAfter(path, "vid_");
    const auto product = hexAfter(path, "pid_");
    if (!vendor || !product) return std::nullopt;
    return HidAttributes{*vendor, *product};
}

bool ModuleDirectory::current() {
    if (!cached_) return false;
    const std::optional<uint64_t> changes = host_.deviceChanges();
    return changes && changesAtCache_ && *changes == *changesAtCache_;
}

const std::vector<ModuleRecord>& ModuleDirectory::refresh() {
    // The count first: an event that comes during the enumeration makes the
    // next look enumerate again rather than trust a list it may have missed.
    changesAtCache_ = host_.deviceChanges();
    ++enumerations_;
    modules_.clear();
    for (HidDeviceInfo& device : host_.enumerateVendor(kModuleVendorId)) {
        // One device can be listed once per top-level collection.
        bool seen = false;
        for (const ModuleRecord& known : modules_) seen = seen || known.path == device.path;
        if (seen || !device.ids || device.ids->vendorId != kModuleVendorId || !isModuleId(device.ids->productId))
            continue;
        ModuleRecord record{device.ids->productId, std::move(device.path), std::move(device.port),
                            std::move(device.serial), device.caps.value_or(HidCaps{})};
        // Lengths told at enumeration are checked here; others when opened.
        if (device.caps && !reportsFit(*device.caps)) continue;
        if (scope_ && !scope_(record)) continue;
        modules_.push_back(std::move(record));
    }
    failure_ = host_.lastFailure();
    cached_ = true;
    return modules_;
}

const std::vector<ModuleRecord>& ModuleDirectory::modules() { return current() ? modules_ : refresh(); }

std::vector<ModuleRecord> ModuleDirectory::find(uint16_t productId) {
    const auto matching = [&] {
        std::vector<ModuleRecord> found;
        for (const ModuleRecord& record : modules_)
            if (record.productId == productId) found.push_back(record);
        return found;
    };
    const bool events = host_.deviceChanges().has_value();
    if (cached_ && (current() || !events)) {
        std::vector<ModuleRecord> found = matching();
        // Without events a cached list may lack a module plugged in since.
        if (!found.empty() || events) return found;
    }
    refresh();
    return matching();
}

std::optional<ModuleRecord> ModuleDirectory::at(const std::string& path) {
    for (const ModuleRecord& record : modules())
        if (record.path == path) return record;
    return std::nullopt;
}

void ModuleDirectory::setScope(std::function<bool(const ModuleRecord&)> scope) {
    scope_ = std::move(scope);
    cached_ = false;
}

}  // namespace zelio
