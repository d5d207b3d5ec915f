#pragma once
// Texts whose lines end in CR LF, as everything the program writes: built from lines, and split
// back into them.

#include <initializer_list>
#include <string>
#include <vector>

namespace kelmartest {

/// The text of these lines, each ended by CR LF.
inline std::string crlf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

/// The lines of a text whose every line ends in CR LF; text after the last CR LF is a fault
/// the caller sees as a last line that holds it.
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace kelmartest
