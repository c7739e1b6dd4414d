#pragma once

// The fault matrix as Markdown: each matrix test records its rows (fault x command -> exit code, output)
// as one section in build/reports/reliability/, and every write assembles build/reports/reliability.md
// from the sections present, in a fixed order. scripts/reliability-report copies it to docs/.

#include "Runner.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace quillet::testing::reliability {

class MatrixSection {
public:
    // id names one of the report's sections (see MatrixReport.cpp).
    explicit MatrixSection(std::string id);

    // A short name for text that is long or differs from one machine to the next (a guid, a temporary
    // file), shown in its place in the report.
    void Abbreviate(std::wstring text, std::wstring shownAs);

    void Add(std::string fault, const std::vector<std::wstring>& args, const RunResult& result);

    // Writes the section and assembles the report.
    void Write() const;

private:
    struct Row {
        std::string fault;
        std::string command;
        DWORD exitCode;
        std::string output;
    };
    std::string Shown(std::wstring text) const;

    std::string m_id;
    std::vector<std::pair<std::wstring, std::wstring>> m_abbreviations;
    std::vector<Row> m_rows;
};

} // namespace quillet::testing::reliability
