// Words for the device's shell. Every command handed to BoardRunShell or
// BoardPopen that carries a value from outside the program (a file name, a
// field of the kernel command line, a setting) puts that value through one
// of these, so that it reaches the program as one literal argument whatever
// it holds: "$(...)", backquotes, quotes, blanks, newlines.
#pragma once

#include <string>
#include <string_view>

// The text in sh single quotes, each ' inside written as '\''. A NUL byte
// (which would cut the command short) is left out.
std::string ShellQuote(std::string_view text);

// A file name as one word: ShellQuote, and a relative name that begins with
// '-' gets "./" in front so that the program does not take it for an option.
std::string ShellQuotePath(std::string_view path);
