#pragma once

#include <string>
#include <vector>

class XMLEffectDefinition;
struct GroupDefinition;

// Column arithmetic of the page layout: parameters stack in columns of five rows, and a tab
// of the page-based hosts holds six columns.
namespace page_layout {

constexpr int kRowsPerColumn = 5;
constexpr int kColumnsPerTab = 6;
constexpr int kPaddingRowsPerColumn = 5;

// Rows a parameter takes: 2 for "vec2" and "choice", 1 otherwise (also for unknown names).
int rowWeight(const XMLEffectDefinition& definition, const std::string& parameterName);

// Columns needed by a list of parameters packed in order. An empty list needs 1 column.
int columnCount(const XMLEffectDefinition& definition, const std::vector<std::string>& parameterNames);

// A group's parameters: its columns' lists in order, then its direct parameters.
std::vector<std::string> groupParameterNames(const GroupDefinition& group);

struct TabPadding {
    int paddedColumns = 0;   // smallest multiple of six not below the used count
    int paddingColumns = 0;  // paddedColumns - used
    int tabs = 0;            // paddedColumns / 6
};
TabPadding padToTabs(int usedColumns);

}  // namespace page_layout

// Appends pages made from the groups when the definition declares none: "Main", then
// "Page 2", "Page 3", ..., each holding at most six columns unless one group alone is wider.
void synthesizeDefaultPages(XMLEffectDefinition& definition);
