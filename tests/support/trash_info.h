// Reading a .trashinfo file as freedesktop.org's shared Trash layout
// defines it, for the tests of the trash.
#pragma once

#include <ctime>
#include <string>

namespace e2e {

// The original path a .trashinfo gives, percent-decoded, or "" when its text
// is not valid: the group header first, then Path (URL-escaped: only letters,
// digits, "-_.~/" and %XX escapes) and DeletionDate (YYYY-MM-DDThh:mm:ss, a
// real date and time), each on a line of its own.
inline std::string trashinfo_path(const std::string& text) {
    const std::string head = "[Trash Info]\nPath=", date_key = "\nDeletionDate=";
    const size_t date_at = text.find(date_key);
    if (text.rfind(head, 0) != 0 || date_at == std::string::npos) return "";
    const std::string encoded = text.substr(head.size(), date_at - head.size());
    const std::string date = text.substr(date_at + date_key.size());
    const std::string shape = "dddd-dd-ddTdd:dd:dd\n";
    if (encoded.empty() || date.size() != shape.size()) return "";
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? date[i] < '0' || date[i] > '9' : date[i] != shape[i]) return "";
    std::tm parsed{};
    const char* end = strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S", &parsed);
    if (end == nullptr || *end != '\n' || parsed.tm_mon > 11 || parsed.tm_mday < 1 || parsed.tm_hour > 23) return "";
    std::string path;
    for (size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string("-_.~/").find(c) != std::string::npos;
        if (plain) {
            path += c;
        } else if (c == '%' && i + 2 < encoded.size() && std::isxdigit(static_cast<unsigned char>(encoded[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(encoded[i + 2]))) {
            path += static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            return "";
        }
    }
    return path;
}

}  // namespace e2e
