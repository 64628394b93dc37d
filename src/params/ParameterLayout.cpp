// Groups and pages: the single-page grouping and the page layout padded to whole tabs.
#include <exception>
#include <set>
#include <unordered_map>

#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"
#include "ofxsImageEffect.h"
#include "params/PageLayout.h"
#include "params/XMLParameterManager.h"

namespace {

OFX::PageParamDescriptor* definePage(OFX::ImageEffectDescriptor& desc, const std::string& name,
                                     PageMap& pages) {
    OFX::PageParamDescriptor* page = desc.definePageParam(name);
    page->setLabels(name, name, name);
    pages[name] = page;
    return page;
}

// Blank columns that push the next page onto a fresh tab.
void addPaddingColumns(OFX::ImageEffectDescriptor& desc, OFX::PageParamDescriptor* page, int columns,
                       int& counter) {
    for (int i = 0; i < columns; ++i, ++counter) {
        const std::string groupName = "_pad_" + std::to_string(counter);
        OFX::GroupParamDescriptor* group = desc.defineGroupParam(groupName);
        group->setLabels(" ", " ", " ");
        group->setOpen(false);
        group->setEnabled(false);
        page->addChild(*group);
        for (int row = 0; row < page_layout::kPaddingRowsPerColumn; ++row) {
            OFX::BooleanParamDescriptor* filler =
                desc.defineBooleanParam(groupName + "_" + std::to_string(row));
            filler->setLabels(" ", " ", " ");
            filler->setDefault(false);
            filler->setEnabled(false);
            filler->setParent(*group);
        }
    }
}

}  // namespace

OFX::GroupParamDescriptor* XMLParameterManager::defineUIGroup(const GroupDefinition& group,
                                                              OFX::ImageEffectDescriptor& desc) {
    OFX::GroupParamDescriptor* param = desc.defineGroupParam("_grp_" + group.name);
    param->setLabels(group.name, group.name, group.name);
    param->setOpen(group.open);
    if (!group.tooltip.empty()) param->setHint(group.tooltip);
    return param;
}

bool XMLParameterManager::organizeUI(const XMLEffectDefinition& definition, OFX::ImageEffectDescriptor& desc,
                                     PageMap& pages) {
    VLOG_INFO("XMLParameterManager::organizeUI called");
    try {
        OFX::PageParamDescriptor* page =
            pages.empty() ? definePage(desc, "Main", pages) : pages.begin()->second;
        int groupCount = 0;
        int parented = 0;
        for (const GroupDefinition& group : definition.getGroups()) {
            OFX::GroupParamDescriptor* groupParam = defineUIGroup(group, desc);
            page->addChild(*groupParam);
            ++groupCount;
            for (const std::string& name : page_layout::groupParameterNames(group)) {
                OFX::ParamDescriptor* param = desc.getParamDescriptor(name);
                if (!param) {
                    VLOG_DEBUG("Parameter not found: %s", name.c_str());
                    continue;
                }
                param->setParent(*groupParam);
                ++parented;
            }
        }
        VLOG_DEBUG("Created %d UI groups with %d total parameters", groupCount, parented);
    } catch (const std::exception& e) {
        VLOG_ERROR("ERROR in organizeUI: %s", e.what());
        return false;
    } catch (...) {
        VLOG_ERROR("ERROR in organizeUI: unknown exception");
        return false;
    }
    VLOG_INFO("XMLParameterManager::organizeUI completed successfully");
    return true;
}

bool XMLParameterManager::createAndOrganizeWithPages(const XMLEffectDefinition& definition,
                                                     OFX::ImageEffectDescriptor& desc, PageMap& pages) {
    VLOG_INFO("XMLParameterManager::createAndOrganizeWithPages called (interleaved definition order)");
    std::set<std::string> created;
    try {
        std::unordered_map<std::string, const GroupDefinition*> groupsByName;
        for (const GroupDefinition& group : definition.getGroups()) groupsByName.emplace(group.name, &group);

        // Creates a parameter on its first reference; later references reuse the descriptor.
        auto ensureCreated = [&](const std::string& name) -> OFX::ParamDescriptor* {
            if (created.insert(name).second) createParameter(name, definition, desc);
            return desc.getParamDescriptor(name);
        };

        int paddingCounter = 0;
        int userTabs = 0;
        for (const PageDefinition& pageDef : definition.getPages()) {
            OFX::PageParamDescriptor* page = definePage(desc, pageDef.name, pages);
            int used = 0;
            for (const PageItem& item : pageDef.items) {
                if (item.kind == PageItem::Group) {
                    auto found = groupsByName.find(item.groupName);
                    if (found == groupsByName.end()) {
                        VLOG_ERROR("Group '%s' not found", item.groupName.c_str());
                        continue;
                    }
                    const GroupDefinition& group = *found->second;
                    OFX::GroupParamDescriptor* groupParam = defineUIGroup(group, desc);
                    page->addChild(*groupParam);
                    const std::vector<std::string> names = page_layout::groupParameterNames(group);
                    for (const std::string& name : names) {
                        if (OFX::ParamDescriptor* param = ensureCreated(name)) param->setParent(*groupParam);
                    }
                    used += page_layout::columnCount(definition, names);
                } else if (item.kind == PageItem::TopLevel) {
                    const std::vector<std::string>& names = definition.getTopLevelParameters();
                    for (const std::string& name : names) {
                        if (OFX::ParamDescriptor* param = ensureCreated(name)) page->addChild(*param);
                    }
                    if (!names.empty()) used += page_layout::columnCount(definition, names);
                }
            }

            const page_layout::TabPadding padding = page_layout::padToTabs(used);
            userTabs += padding.tabs;
            VLOG_INFO("  Page '%s': %d columns used, padding to %d (%d padding cols, %d Flame tab%s)",
                      pageDef.name.c_str(), used, padding.paddedColumns, padding.paddingColumns, padding.tabs,
                      padding.tabs > 1 ? "s" : "");
            for (int tab = 2; tab <= padding.tabs; ++tab) {
                const std::string overflowName = pageDef.name + " (" + std::to_string(tab) + ")";
                definePage(desc, overflowName, pages);
                VLOG_INFO("    Overflow page '%s' for tab %d of %d", overflowName.c_str(), tab, padding.tabs);
            }
            addPaddingColumns(desc, page, padding.paddingColumns, paddingCounter);
        }

        VLOG_INFO("  Total Flame tabs: %d (user: %d + Settings: 1)%s", userTabs + 1, userTabs,
                  userTabs + 1 > 5 ? " WARNING: >5 tabs triggers Flame dropdown mode!" : "");

        int unreferenced = 0;
        for (const ParameterDefinition& def : definition.getParameters()) {
            if (created.count(def.name)) continue;
            VLOG_ERROR(
                "WARNING: Parameter '%s' defined in <parameters> but not referenced in any <ui> group or "
                "top-level — not created!",
                def.name.c_str());
            ++unreferenced;
        }
        if (unreferenced > 0)
            VLOG_ERROR(
                "WARNING: %d parameters not referenced in <ui> groups. They will not appear in the plugin!",
                unreferenced);
    } catch (const std::exception& e) {
        VLOG_ERROR("ERROR in createAndOrganizeWithPages: %s", e.what());
        return false;
    } catch (...) {
        VLOG_ERROR("ERROR in createAndOrganizeWithPages: unknown exception");
        return false;
    }
    VLOG_INFO("XMLParameterManager::createAndOrganizeWithPages completed (%zu params defined)",
              created.size());
    return true;
}
