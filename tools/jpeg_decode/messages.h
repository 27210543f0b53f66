// Exit statuses and the one-line messages of jpeg-decode: every message
// names the file and says what went wrong in words, followed for decoder
// failures by the status name and code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace jpeg_decode {

constexpr int exit_ok = 0;
constexpr int exit_undecodable = 1;  // the input is not a picture the decoder can deliver
constexpr int exit_usage = 2;  // bad usage, or a file that could not be opened, read or written
constexpr int exit_warning = 3;  // a picture was written from incomplete data

extern const char* const program;

// The worse of two exit statuses: usage or file errors, then undecodable
// input, then warnings, then success.
int worse(int a, int b);

// What a decoder status means, in words for the person reading the
// message: the decoder's own `words`, except where the command knows better.
std::string status_words(int32_t code, const std::string& words);

// The length of the valid UTF-8 sequence that starts at `at` (1 to 4) with
// its code point in *code_point, or 0 when the byte there starts none
// (a stray continuation byte, an overlong form, a surrogate, a cut sequence).
size_t utf8_sequence(std::string_view text, size_t at, uint32_t* code_point);

// Text from outside (a file name, an argument) made safe to print: printable
// UTF-8 passes, while control characters (C0, DEL and C1), bytes that are not
// UTF-8 and the backslash become \xHH (the backslash \\), so that a name can
// neither move the cursor, retitle the terminal nor forge a line.
std::string printable(std::string_view text);

// Prints "jpeg-decode: FILE: words (Name, code)" and returns the exit
// status for that failure.
int report_status(const std::string& file, int32_t code, const std::string& words);

// Prints "jpeg-decode: FILE: what". These print FILE and `what` printable.
void report(const std::string& file, const std::string& what);

// Prints "jpeg-decode: warning: FILE: what".
void warn(const std::string& file, const std::string& what);

// A progress line on standard error ("[2/5] a.jpg"), rewritten in place;
// only shown when standard error is a terminal. Messages clear it first.
void show_progress(int index, int count, const std::string& file);
void clear_progress();

}  // namespace jpeg_decode
