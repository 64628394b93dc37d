#include "params/PageLayout.h"

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"

namespace page_layout {

int rowWeight(const XMLEffectDefinition& definition, const std::string& parameterName) {
    if (!definition.hasParameter(parameterName)) return 1;
    const std::string& type = definition.getParameter(parameterName).type;
    return (type == "vec2" || type == "choice") ? 2 : 1;
}

int columnCount(const XMLEffectDefinition& definition, const std::vector<std::string>& parameterNames) {
    int rows = 0;
    int columns = 1;
    for (const std::string& name : parameterNames) {
        const int weight = rowWeight(definition, name);
        if (rows + weight > kRowsPerColumn) {
            ++columns;
            rows = weight;
        } else {
            rows += weight;
        }
    }
    return columns;
}

std::vector<std::string> groupParameterNames(const GroupDefinition& group) {
    std::vector<std::string> names;
    for (const ColumnDefinition& column : group.columns)
        names.insert(names.end(), column.parameters.begin(), column.parameters.end());
    names.insert(names.end(), group.parameters.begin(), group.parameters.end());
    return names;
}

TabPadding padToTabs(int usedColumns) {
    TabPadding result;
    if (usedColumns <= 0) return result;
    result.paddedColumns = ((usedColumns + kColumnsPerTab - 1) / kColumnsPerTab) * kColumnsPerTab;
    result.paddingColumns = result.paddedColumns - usedColumns;
    result.tabs = result.paddedColumns / kColumnsPerTab;
    return result;
}

}  // namespace page_layout

void synthesizeDefaultPages(XMLEffectDefinition& definition) {
    if (!definition.getPages().empty()) return;
    const std::vector<GroupDefinition>& groups = definition.getGroups();
    const std::vector<std::string>& topLevel = definition.getTopLevelParameters();
    if (groups.empty() && topLevel.empty()) return;

    VLOG_INFO("synthesizeDefaultPages: auto-generating page layout from %zu groups", groups.size());

    std::vector<PageDefinition> pages;
    PageDefinition page;
    page.name = "Main";
    int used = 0;
    auto closePage = [&]() {
        VLOG_INFO("  Synthesized page '%s' with %zu group(s), %d columns", page.name.c_str(),
                  page.items.size(), used);
        pages.push_back(page);
    };

    if (!topLevel.empty()) {
        PageItem item;
        item.kind = PageItem::TopLevel;
        page.items.push_back(item);
        used = page_layout::columnCount(definition, topLevel);
    }
    for (const GroupDefinition& group : groups) {
        const int needed = page_layout::columnCount(definition, page_layout::groupParameterNames(group));
        if (used > 0 && used + needed > page_layout::kColumnsPerTab) {
            closePage();
            page = PageDefinition();
            page.name = "Page " + std::to_string(pages.size() + 1);
            used = 0;
        }
        PageItem item;
        item.kind = PageItem::Group;
        item.groupName = group.name;
        page.items.push_back(item);
        used += needed;
    }
    if (!page.items.empty()) closePage();

    VLOG_INFO("synthesizeDefaultPages: created %zu page(s) from %zu groups", pages.size(), groups.size());
    definition.setPages(std::move(pages));
}
