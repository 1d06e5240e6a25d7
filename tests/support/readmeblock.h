#pragma once
// The README's own SQL, as tests run it: the indented block that follows a paragraph.
#include <fstream>
#include <string>

namespace qvtest {

// The indented block of the README at `readme` that follows the paragraph beginning with
// `paragraph` (or the list item "- paragraph").
inline std::string ReadmeBlock(const std::string& readme, const std::string& paragraph) {
    std::ifstream in(readme);
    std::string line, sql;
    bool after = false;
    while (std::getline(in, line)) {
        if (line.rfind(paragraph, 0) == 0 || line.rfind("- " + paragraph, 0) == 0) after = true;
        else if (after && line.rfind("    ", 0) == 0) sql += line + "\n";
        else if (after && !sql.empty()) break;
    }
    return sql;
}

}  // namespace qvtest
