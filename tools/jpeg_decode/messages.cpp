#include "messages.h"

#include "marivue/jpeg/status.h"

#include <cstdio>

#include <unistd.h>

using namespace marivue::jpeg;

namespace jpeg_decode {

const char* const program = "jpeg-decode";

namespace {

bool progress_shown = false;

int rank(int status) {
    switch (status) {
        case exit_ok:
            return 0;
        case exit_warning:
            return 1;
        case exit_undecodable:
            return 2;
        default:
            return 3;
    }
}

}  // namespace

size_t utf8_sequence(std::string_view text, size_t at, uint32_t* code_point) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        *code_point = lead;
        return 1;
    }
    size_t length = 0;
    uint32_t value = 0, smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1Fu, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0Fu, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07u, smallest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = value << 6 | (byte(at + i) & 0x3Fu);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code_point = value;
    return length;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](unsigned char c) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
    };
    for (size_t at = 0; at < text.size();) {
        uint32_t code_point = 0;
        const size_t length = utf8_sequence(text, at, &code_point);
        if (length == 0) {
            escape(static_cast<unsigned char>(text[at++]));
            continue;
        }
        if (code_point == '\\') {
            out += "\\\\";
        } else if (code_point < 0x20 || (code_point >= 0x7F && code_point < 0xA0)) {
            // C1 controls too: some terminals act on them as on ESC [.
            for (size_t i = 0; i < length; ++i) escape(static_cast<unsigned char>(text[at + i]));
        } else {
            out.append(text.substr(at, length));
        }
        at += length;
    }
    return out;
}

int worse(int a, int b) { return rank(a) >= rank(b) ? a : b; }

std::string status_words(int32_t code, const std::string& words) {
    // The command reads its files itself, with no memory limit: a read
    // error or a lack of memory means just that here.
    if (code == StreamError) return "the file could not be read";
    if (code == OutOfMemory) return "not enough memory";
    return words;
}

int report_status(const std::string& file, int32_t code, const std::string& words) {
    clear_progress();
    std::fprintf(stderr, "%s: %s: %s (%s, %d)\n", program, printable(file).c_str(), status_words(code, words).c_str(),
                 status_name(code), static_cast<int>(code));
    // A read error of the input is a file error, not a fault of its content.
    return code == StreamError ? exit_usage : exit_undecodable;
}

void report(const std::string& file, const std::string& what) {
    clear_progress();
    std::fprintf(stderr, "%s: %s: %s\n", program, printable(file).c_str(), printable(what).c_str());
}

void warn(const std::string& file, const std::string& what) {
    clear_progress();
    std::fprintf(stderr, "%s: warning: %s: %s\n", program, printable(file).c_str(), printable(what).c_str());
}

void show_progress(int index, int count, const std::string& file) {
    if (!isatty(STDERR_FILENO)) {
        return;
    }
    std::fprintf(stderr, "\r%s: [%d/%d] %s\033[K", program, index, count, printable(file).c_str());
    std::fflush(stderr);
    progress_shown = true;
}

void clear_progress() {
    if (progress_shown) {
        std::fputs("\r\033[K", stderr);
        progress_shown = false;
    }
}

}  // namespace jpeg_decode
