#include "link/usb_location.h"

#include <algorithm>
#include <vector>

namespace zelio {

std::string usbPortOfLocationPath(std::string_view locationPath) {
    struct Part {
        std::string_view name, value;
    };
    // "NAME(value)#NAME(value)..."; a value of letters, digits and '_'.
    std::vector<Part> parts;
    while (!locationPath.empty()) {
        const size_t open = locationPath.find('(');
        const size_t close = locationPath.find(')');
        if (open == 0 || open == std::string_view::npos || close == std::string_view::npos || close < open + 2)
            return {};
        const std::string_view value = locationPath.substr(open + 1, close - open - 1);
        const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        });
        if (!plain) return {};
        parts.push_back({locationPath.substr(0, open), value});
        locationPath.remove_prefix(close + 1);
        if (!locationPath.empty()) {
            if (locationPath.front() != '#') return {};
            locationPath.remove_prefix(1);
            if (locationPath.empty()) return {};
        }
    }
    const auto root = std::find_if(parts.begin(), parts.end(), [](const Part& p) { return p.name == "USBROOT"; });
    if (root == parts.begin() || root == parts.end()) return {};
    std::string port;
    for (auto part = parts.begin(); part != root; ++part) (port += port.empty() ? "" : ".") += part->value;
    port += '-';
    bool hubPort = false;
    for (auto part = root + 1; part != parts.end() && part->name == "USB"; ++part) {
        if (!std::all_of(part->value.begin(), part->value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return {};
        (port += hubPort ? "." : "") += part->value;
        hubPort = true;
    }
    return hubPort ? port : std::string();
}

}  // namespace zelio
